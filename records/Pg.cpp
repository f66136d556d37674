#include "records/Pg.h"

#include <libpq-fe.h>

#include <charconv>
#include <cstring>

namespace zul::records {

namespace {

// The first line of a message, without its line end.
std::string FirstLine(const char* text) {
    if (text == nullptr || *text == '\0') return "no reason given";
    const char* end = std::strchr(text, '\n');
    return end == nullptr ? std::string(text) : std::string(text, end);
}

// The parameters as libpq takes them: pointers to their text, or null.
std::vector<const char*> Values(const std::vector<std::optional<std::string>>& params) {
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const auto& p : params) values.push_back(p ? p->c_str() : nullptr);
    return values;
}

}  // namespace

PgRows::PgRows(pg_result* result) : result_(result) {}
PgRows::~PgRows() {
    if (result_ != nullptr) PQclear(result_);
}
PgRows::PgRows(PgRows&& other) noexcept : result_(other.result_) {
    other.result_ = nullptr;
}

int PgRows::rows() const {
    return PQntuples(result_);
}
int PgRows::columns() const {
    return PQnfields(result_);
}
bool PgRows::IsNull(int row, int column) const {
    return PQgetisnull(result_, row, column) != 0;
}
std::string_view PgRows::Text(int row, int column) const {
    if (IsNull(row, column)) return {};
    return {PQgetvalue(result_, row, column),
            static_cast<size_t>(PQgetlength(result_, row, column))};
}
std::optional<int64_t> PgRows::Int(int row, int column) const {
    const std::string_view text = Text(row, column);
    int64_t n = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return n;
}
std::optional<double> PgRows::Real(int row, int column) const {
    const std::string_view text = Text(row, column);
    double x = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), x);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return x;
}

PgConnection::PgConnection() = default;
PgConnection::~PgConnection() {
    if (conn_ != nullptr) PQfinish(conn_);
}

std::string PgConnection::LastError(pg_result* result) const {
    if (result != nullptr) {
        if (const char* primary = PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY)) {
            return FirstLine(primary);
        }
    }
    return FirstLine(conn_ != nullptr ? PQerrorMessage(conn_) : nullptr);
}

bool PgConnection::Connect(const std::string& uri, std::string& error) {
    char* why = nullptr;
    PQconninfoOption* options = PQconninfoParse(uri.c_str(), &why);
    if (options == nullptr) {
        error = "not a connection URI (" + FirstLine(why) + ")";
        if (why != nullptr) PQfreemem(why);
        return false;
    }
    bool password = false;
    for (PQconninfoOption* o = options; o->keyword != nullptr; ++o) {
        password = password || (std::strcmp(o->keyword, "password") == 0 && o->val != nullptr &&
                                *o->val != '\0');
    }
    PQconninfoFree(options);
    if (password) {
        error = "a password in the URI is refused: put it into ~/.pgpass (or PGPASSFILE)";
        return false;
    }
    // Keywords before dbname are defaults the URI may override; those after
    // it hold whatever the URI says.
    const char* keys[] = {"connect_timeout", "fallback_application_name", "dbname",
                          "client_encoding", nullptr};
    const char* values[] = {"10", "zul10-records", uri.c_str(), "UTF8", nullptr};
    conn_ = PQconnectdbParams(keys, values, 1);
    if (conn_ == nullptr || PQstatus(conn_) != CONNECTION_OK) {
        error = LastError();
        return false;
    }
    // The server's notices (whatever its owner's functions raise) are not
    // printed raw on the terminal, as libpq would: they are not ours.
    PQsetNoticeProcessor(
        conn_, [](void*, const char*) {}, nullptr);
    return true;
}

std::optional<PgRows> PgConnection::Query(const char* sql,
                                          const std::vector<std::optional<std::string>>& params,
                                          std::string& error) {
    const std::vector<const char*> values = Values(params);
    pg_result* result = PQexecParams(conn_, sql, static_cast<int>(values.size()), nullptr,
                                     values.data(), nullptr, nullptr, 0);
    // A null result is libpq out of memory or the connection lost.
    const ExecStatusType status = result != nullptr ? PQresultStatus(result) : PGRES_FATAL_ERROR;
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
        error = LastError(result);
        if (result != nullptr) PQclear(result);
        return std::nullopt;
    }
    return PgRows(result);
}

bool PgConnection::Run(const char* sql, std::string& error) {
    return Query(sql, {}, error).has_value();
}

bool PgConnection::Stream(const char* sql, const std::vector<std::optional<std::string>>& params,
                          const std::function<void(const PgRows& row)>& onRow, std::string& error) {
    const std::vector<const char*> values = Values(params);
    if (PQsendQueryParams(conn_, sql, static_cast<int>(values.size()), nullptr, values.data(),
                          nullptr, nullptr, 0) == 0) {
        error = LastError();
        return false;
    }
    PQsetSingleRowMode(conn_);
    bool ok = true;
    // Every result up to the last (null) is taken, also after an error, so
    // that the connection is ready for the next statement.
    while (pg_result* result = PQgetResult(conn_)) {
        const ExecStatusType status = PQresultStatus(result);
        if (status == PGRES_SINGLE_TUPLE) {
            const PgRows row(result);
            if (ok) onRow(row);
            continue;
        }
        if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK && ok) {
            error = LastError(result);
            ok = false;
        }
        PQclear(result);
    }
    return ok;
}

std::string PgConnection::ArrayLiteral(const std::vector<std::string>& elements) {
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

}  // namespace zul::records
