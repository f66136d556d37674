#include "records/DatabaseUri.h"

#include <optional>
#include <string_view>
#include <vector>

namespace zul::records {

namespace {

constexpr const char* kUnreadable = "(an unreadable connection string)";

bool IsSecretKey(std::string_view key) {
    return key == "password" || key == "sslpassword";
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// %XX decoded, as libpq decodes the parts of a URI (a "%" without two hex
// digits kept as it is: libpq refuses such a URI anyway).
std::string PercentDecoded(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
            HexDigit(text[i + 2]) >= 0) {
            out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The length of the URI scheme uri starts with ("postgresql://" or
// "postgres://", the two libpq takes); 0 for a connection string.
size_t SchemeLength(std::string_view uri) {
    for (const std::string_view scheme : {"postgresql://", "postgres://"}) {
        if (uri.substr(0, scheme.size()) == scheme) return scheme.size();
    }
    return 0;
}

// A URI split where its password may stand, read as libpq reads it: the
// user part runs to the first "@" met before any "/" (libpq looks no
// further), its password from its first ":"; the parameters follow the
// first "?" after the user part, separated by "&".
struct UriParts {
    std::string_view head;      // the scheme and the user, without its password
    std::string_view password;  // as written
    bool hasPassword = false;
    std::string_view middle;  // from the "@" to the "?" (or the end)
    std::vector<std::string_view> parameters;
    bool hasQuery = false;
};

UriParts SplitUri(std::string_view uri, size_t scheme) {
    UriParts parts;
    size_t rest = scheme;
    const size_t designator = uri.find_first_of("@/", scheme);
    if (designator != std::string_view::npos && uri[designator] == '@') {
        const size_t colon = uri.find(':', scheme);
        if (colon < designator) {
            parts.head = uri.substr(0, colon);
            parts.password = uri.substr(colon + 1, designator - colon - 1);
            parts.hasPassword = true;
        } else {
            parts.head = uri.substr(0, designator);
        }
        rest = designator;
    } else {
        parts.head = uri.substr(0, scheme);
    }
    const size_t query = uri.find('?', rest);
    parts.middle =
        uri.substr(rest, query == std::string_view::npos ? std::string_view::npos : query - rest);
    if (query != std::string_view::npos) {
        parts.hasQuery = true;
        std::string_view parameters = uri.substr(query + 1);
        for (;;) {
            const size_t amp = parameters.find('&');
            parts.parameters.push_back(parameters.substr(0, amp));
            if (amp == std::string_view::npos) break;
            parameters.remove_prefix(amp + 1);
        }
    }
    return parts;
}

// One "key = value" of a connection string: its key and value (as written,
// quotes and escapes undone) and where the pair stands in the text.
struct Pair {
    std::string key;
    std::string value;
    std::string_view text;
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// The pairs of a connection string, read as libpq reads them: blanks around
// "=", a value in single quotes or up to the next blank, a backslash taking
// the next character as it is. nullopt when it cannot be read.
std::optional<std::vector<Pair>> SplitConnectionString(std::string_view text) {
    std::vector<Pair> pairs;
    size_t at = 0;
    for (;;) {
        while (at < text.size() && IsBlank(text[at])) ++at;
        if (at >= text.size()) return pairs;
        const size_t start = at;
        Pair pair;
        while (at < text.size() && text[at] != '=' && !IsBlank(text[at])) pair.key += text[at++];
        while (at < text.size() && IsBlank(text[at])) ++at;
        if (at >= text.size() || text[at] != '=' || pair.key.empty()) return std::nullopt;
        ++at;
        while (at < text.size() && IsBlank(text[at])) ++at;
        if (at < text.size() && text[at] == '\'') {
            ++at;
            bool closed = false;
            while (at < text.size()) {
                if (text[at] == '\\' && at + 1 < text.size()) {
                    pair.value += text[at + 1];
                    at += 2;
                } else if (text[at] == '\'') {
                    ++at;
                    closed = true;
                    break;
                } else {
                    pair.value += text[at++];
                }
            }
            if (!closed) return std::nullopt;
        } else {
            while (at < text.size() && !IsBlank(text[at])) {
                if (text[at] == '\\' && at + 1 < text.size()) ++at;
                pair.value += text[at++];
            }
        }
        pair.text = text.substr(start, at - start);
        pairs.push_back(std::move(pair));
    }
}

// Every password text of uri: as written, and decoded where it differs.
std::vector<std::string> Passwords(const std::string& uri) {
    std::vector<std::string> found;
    const auto add = [&](std::string_view written) {
        if (written.empty()) return;
        found.emplace_back(written);
        const std::string decoded = PercentDecoded(written);
        if (decoded != written) found.push_back(decoded);
    };
    if (const size_t scheme = SchemeLength(uri); scheme > 0) {
        const UriParts parts = SplitUri(uri, scheme);
        if (parts.hasPassword) add(parts.password);
        for (const std::string_view parameter : parts.parameters) {
            const size_t equals = parameter.find('=');
            if (equals != std::string_view::npos &&
                IsSecretKey(PercentDecoded(parameter.substr(0, equals)))) {
                add(parameter.substr(equals + 1));
            }
        }
    } else if (const auto pairs = SplitConnectionString(uri)) {
        for (const Pair& pair : *pairs) {
            if (IsSecretKey(pair.key) && !pair.value.empty()) found.push_back(pair.value);
        }
    }
    return found;
}

}  // namespace

std::string WithoutPassword(const std::string& uri) {
    const size_t scheme = SchemeLength(uri);
    if (scheme == 0) {
        const auto pairs = SplitConnectionString(uri);
        if (!pairs) return kUnreadable;
        std::string kept;
        for (const Pair& pair : *pairs) {
            if (IsSecretKey(pair.key)) continue;
            if (!kept.empty()) kept += ' ';
            kept += pair.text;
        }
        return kept;
    }
    const UriParts parts = SplitUri(uri, scheme);
    std::string kept = std::string(parts.head) + std::string(parts.middle);
    std::string query;
    for (const std::string_view parameter : parts.parameters) {
        const size_t equals = parameter.find('=');
        if (IsSecretKey(PercentDecoded(parameter.substr(0, equals)))) continue;
        if (!query.empty()) query += '&';
        query += parameter;
    }
    if (!query.empty()) kept += "?" + query;
    return kept;
}

std::string Scrubbed(std::string message, const std::string& uri) {
    const auto replace = [&message](const std::string& what, const std::string& with) {
        if (what.empty()) return;
        for (size_t at = message.find(what); at != std::string::npos;
             at = message.find(what, at + with.size())) {
            message.replace(at, what.size(), with);
        }
    };
    const std::vector<std::string> passwords = Passwords(uri);
    if (!passwords.empty()) replace(uri, WithoutPassword(uri));
    for (const std::string& password : passwords) {
        if (password.size() >= 3) replace(password, "***");
    }
    return message;
}

std::string DatabaseKey(const std::string& uri) {
    return "database " + WithoutPassword(uri);
}

std::string DatabaseName(const std::string& uri) {
    return "the database " + WithoutPassword(uri);
}

}  // namespace zul::records
