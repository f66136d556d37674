#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// libpq's handles, without its header.
struct pg_conn;
struct pg_result;

namespace zul::records {

// One answer of the server: rows of text fields (libpq's text format).
// Owns its PGresult.
class PgRows {
public:
    explicit PgRows(pg_result* result);
    ~PgRows();
    PgRows(PgRows&& other) noexcept;
    PgRows& operator=(PgRows&&) = delete;
    PgRows(const PgRows&) = delete;
    PgRows& operator=(const PgRows&) = delete;

    int rows() const;
    int columns() const;
    bool IsNull(int row, int column) const;
    // The field's text; "" for NULL.
    std::string_view Text(int row, int column) const;
    // The field as a whole number; nullopt for NULL or anything else.
    std::optional<int64_t> Int(int row, int column) const;
    // The field as a floating-point number; nullopt for NULL or anything else.
    std::optional<double> Real(int row, int column) const;

private:
    pg_result* result_;
};

// A connection to a PostgreSQL server through libpq. Every value goes into
// a statement as a bound parameter ($1 ...) in text form, never into the
// statement's text. Errors are told in one line, without a password.
class PgConnection {
public:
    PgConnection();
    ~PgConnection();
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    // Connects to uri (a libpq connection URI). A URI that holds a password
    // is refused: passwords come from libpq's own files (~/.pgpass,
    // PGPASSFILE), never from a command line. False with error when the
    // server cannot be reached or refuses.
    bool Connect(const std::string& uri, std::string& error);

    // Runs sql with params ($1 ...; nullopt: NULL). The rows, or nullopt
    // with error when the statement failed.
    std::optional<PgRows> Query(const char* sql,
                                const std::vector<std::optional<std::string>>& params,
                                std::string& error);
    // Runs a statement without parameters or rows (BEGIN, SET ...); false
    // with error when it failed.
    bool Run(const char* sql, std::string& error);
    // Runs sql with params and hands each row to onRow as it arrives
    // (libpq's single-row mode), so that memory holds one row at a time.
    // False with error when the statement failed (rows may have been handed
    // over before).
    bool Stream(const char* sql, const std::vector<std::optional<std::string>>& params,
                const std::function<void(const PgRows& row)>& onRow, std::string& error);

    // A text[] parameter's value: each element quoted, with its quotes and
    // backslashes escaped, so that any text arrives as it is.
    static std::string ArrayLiteral(const std::vector<std::string>& elements);

private:
    // The server's message, or libpq's, in one line.
    std::string LastError(pg_result* result = nullptr) const;
    pg_conn* conn_ = nullptr;
};

}  // namespace zul::records
