#include "records/PgConnection.h"

#include <libpq-fe.h>

#include <charconv>
#include <vector>

#include "records/DatabaseUri.h"

namespace zul::records {

namespace {

// Notices (a NOTICE of the server, a WARNING) are no reason to stop and
// have no place on the forward's lines.
void DropNotice(void*, const char*) {}

}  // namespace

PgResult::~PgResult() {
    if (result_ != nullptr) PQclear(result_);
}

PgResult& PgResult::operator=(PgResult&& other) noexcept {
    if (this != &other) {
        if (result_ != nullptr) PQclear(result_);
        result_ = other.result_;
        other.result_ = nullptr;
    }
    return *this;
}

bool PgResult::ok() const {
    const ExecStatusType status = PQresultStatus(result_);
    return result_ != nullptr && (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK);
}

std::string PgResult::sqlState() const {
    const char* state =
        result_ != nullptr ? PQresultErrorField(result_, PG_DIAG_SQLSTATE) : nullptr;
    return state != nullptr ? state : "";
}

std::string PgResult::ErrorMessage() const {
    const char* message = result_ != nullptr ? PQresultErrorMessage(result_) : nullptr;
    return message != nullptr ? message : "";
}

int PgResult::rows() const {
    return result_ != nullptr ? PQntuples(result_) : 0;
}

std::string PgResult::Text(int row, int column) const {
    if (result_ == nullptr || row >= PQntuples(result_) || column >= PQnfields(result_)) return {};
    return std::string(PQgetvalue(result_, row, column),
                       static_cast<size_t>(PQgetlength(result_, row, column)));
}

int PgResult::columns() const {
    return result_ != nullptr ? PQnfields(result_) : 0;
}

namespace {

template <class T>
std::optional<T> Parsed(const std::string& text) {
    T n{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return n;
}

}  // namespace

std::optional<int64_t> PgResult::Int(int row, int column) const {
    return Parsed<int64_t>(Text(row, column));
}

std::optional<double> PgResult::Real(int row, int column) const {
    return Parsed<double>(Text(row, column));
}

bool PgResult::IsNull(int row, int column) const {
    return result_ == nullptr || row >= PQntuples(result_) || column >= PQnfields(result_) ||
           PQgetisnull(result_, row, column) != 0;
}

std::string ArrayLiteral(const std::vector<std::string>& elements) {
    std::string out = "{";
    for (const std::string& e : elements) {
        if (out.size() > 1) out += ',';
        out += '"';
        for (const char c : e) {
            if (c == '"' || c == '\\') out += '\\';
            out += c;
        }
        out += '"';
    }
    return out + "}";
}

std::string OneLine(std::string_view message, const std::string& uri) {
    std::string line;
    size_t at = 0;
    while (at < message.size()) {
        size_t end = message.find('\n', at);
        if (end == std::string_view::npos) end = message.size();
        std::string_view part = message.substr(at, end - at);
        at = end + 1;
        // The severity in front tells nothing the line does not.
        for (const std::string_view severity : {"FATAL:", "ERROR:", "DETAIL:", "HINT:"}) {
            if (part.substr(0, severity.size()) == severity) part.remove_prefix(severity.size());
        }
        while (!part.empty() && (part.front() == ' ' || part.front() == '\t'))
            part.remove_prefix(1);
        while (!part.empty() && (part.back() == ' ' || part.back() == '\r' || part.back() == '\t'))
            part.remove_suffix(1);
        if (part.empty()) continue;
        if (!line.empty()) line += "; ";
        line += part;
    }
    // libpq puts the server's severity inside its own line too
    // ("... port 5432 failed: FATAL:  password authentication failed").
    for (const std::string_view severity : {"FATAL:  ", "ERROR:  "}) {
        for (size_t at = line.find(severity); at != std::string::npos; at = line.find(severity, at))
            line.erase(at, severity.size());
    }
    return Scrubbed(line.empty() ? "no reason given" : line, uri);
}

PgConnection::~PgConnection() {
    Close();
}

void PgConnection::Close() {
    if (connection_ != nullptr) PQfinish(connection_);
    connection_ = nullptr;
}

bool PgConnection::connected() const {
    return connection_ != nullptr && PQstatus(connection_) == CONNECTION_OK;
}

bool PgConnection::Connect(const std::string& uri, std::string& error) {
    Close();
    uri_ = uri;
    const char* keywords[] = {"connect_timeout",  "keepalives",
                              "keepalives_idle",  "keepalives_interval",
                              "keepalives_count", "tcp_user_timeout",
                              "application_name", "dbname",
                              "client_encoding",  nullptr};
    const char* values[] = {"10",        "1",    "30",   "10", "3", "60000", "zul10-records",
                            uri.c_str(), "UTF8", nullptr};
    connection_ = PQconnectdbParams(keywords, values, 1);
    if (connection_ == nullptr) {
        error = "libpq has no memory for a connection";
        return false;
    }
    if (PQstatus(connection_) != CONNECTION_OK) {
        error = OneLine(PQerrorMessage(connection_), uri_);
        Close();
        return false;
    }
    PQsetNoticeProcessor(connection_, DropNotice, nullptr);
    const PgResult session = Exec(
        "SELECT set_config('TimeZone', 'UTC', false), "
        "set_config('statement_timeout', '300s', false), "
        "CASE WHEN current_setting('synchronous_commit') = 'off' "
        "THEN set_config('synchronous_commit', 'on', false) END");
    if (!session.ok()) {
        error = ErrorLine(session);
        Close();
        return false;
    }
    return true;
}

PgResult PgConnection::Exec(const char* sql) {
    return PgResult(connection_ != nullptr ? PQexec(connection_, sql) : nullptr);
}

PgResult PgConnection::Exec(const char* sql,
                            std::span<const std::optional<std::string_view>> parameters) {
    if (connection_ == nullptr) return PgResult();
    // libpq wants each value ended by a NUL: copies of them.
    std::vector<std::string> texts;
    texts.reserve(parameters.size());
    std::vector<const char*> values;
    for (const auto& parameter : parameters) {
        if (parameter) {
            texts.emplace_back(*parameter);
            values.push_back(texts.back().c_str());
        } else {
            values.push_back(nullptr);
        }
    }
    return PgResult(PQexecParams(connection_, sql, static_cast<int>(values.size()), nullptr,
                                 values.data(), nullptr, nullptr, 0));
}

std::string PgConnection::ErrorLine(const PgResult& result) const {
    if (connection_ == nullptr) return "not connected";
    // The server's own message (with its detail) when it sent one; else
    // libpq's, such as a lost connection's.
    const std::string message = result.ErrorMessage();
    return OneLine(message.empty() ? PQerrorMessage(connection_) : message, uri_);
}

std::optional<PgResult> PgConnection::Query(const char* sql, const Parameters& parameters,
                                            std::string& error) {
    std::vector<std::optional<std::string_view>> views(parameters.begin(), parameters.end());
    PgResult result = Exec(sql, views);
    if (!result.ok()) {
        error = ErrorLine(result);
        return std::nullopt;
    }
    return result;
}

bool PgConnection::Run(const char* sql, std::string& error) {
    return Query(sql, {}, error).has_value();
}

bool PgConnection::Stream(const char* sql, const Parameters& parameters,
                          const std::function<void(const PgResult& row)>& onRow,
                          std::string& error) {
    if (connection_ == nullptr) {
        error = "not connected";
        return false;
    }
    std::vector<const char*> values;
    for (const auto& parameter : parameters)
        values.push_back(parameter ? parameter->c_str() : nullptr);
    if (PQsendQueryParams(connection_, sql, static_cast<int>(values.size()), nullptr, values.data(),
                          nullptr, nullptr, 0) == 0) {
        error = OneLine(PQerrorMessage(connection_), uri_);
        return false;
    }
    PQsetSingleRowMode(connection_);
    bool ok = true;
    while (pg_result* next = PQgetResult(connection_)) {
        const PgResult result(next);
        const ExecStatusType status = PQresultStatus(next);
        if (status == PGRES_SINGLE_TUPLE) {
            if (ok) onRow(result);
        } else if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK && ok) {
            error = ErrorLine(result);
            ok = false;
        }
    }
    return ok;
}

}  // namespace zul::records
