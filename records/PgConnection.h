#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// libpq's own types, without its header in every file that names them.
struct pg_conn;
struct pg_result;

namespace zul::records {

// One result of a libpq command, freed when it goes. Move-only.
class PgResult {
public:
    explicit PgResult(pg_result* result = nullptr) : result_(result) {}
    ~PgResult();
    PgResult(PgResult&& other) noexcept : result_(other.result_) { other.result_ = nullptr; }
    PgResult& operator=(PgResult&& other) noexcept;
    PgResult(const PgResult&) = delete;
    PgResult& operator=(const PgResult&) = delete;

    // The command succeeded (with or without rows).
    bool ok() const;
    // The five-character SQLSTATE of a failed command ("23505"); "" when the
    // server sent none (the connection was lost, or the command succeeded).
    std::string sqlState() const;
    // The server's message of a failed command, as libpq gives it (lines);
    // "" when there is none.
    std::string ErrorMessage() const;
    int rows() const;
    int columns() const;
    // The text of a field; "" for NULL or a field that is not there.
    std::string Text(int row, int column) const;
    bool IsNull(int row, int column) const;
    // The field as a whole number; nullopt for NULL or any other text.
    std::optional<int64_t> Int(int row, int column) const;
    // The field as a floating-point number; nullopt for NULL or any other text.
    std::optional<double> Real(int row, int column) const;

private:
    pg_result* result_;
};

// A connection to the records' database through libpq, closed when it goes.
// Every message it gives is one line, with any password of the URI removed
// (records/DatabaseUri.h).
class PgConnection {
public:
    PgConnection() = default;
    ~PgConnection();
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    // Connects to uri (a libpq URI or connection string). Ahead of it, so
    // that the URI may set them otherwise: a connect time-out of 10 s, TCP
    // keep-alives that give up on a silent server after about a minute, and
    // application_name "zul10-records". After it, so that nothing
    // overrides them: client_encoding UTF8. Then, for the session: the time
    // zone UTC (a time stamp without an offset is taken as UTC, as the
    // report takes it), a statement time-out of 5 minutes, and
    // synchronous_commit on where the server has it off, so that a commit
    // is on the server's disk when it returns. The password comes only from
    // libpq's own ways (the URI, PGPASSWORD, the password file). False, with
    // libpq's reason as one line in error, when that fails.
    bool Connect(const std::string& uri, std::string& error);
    // Closes the connection (nothing when none is open).
    void Close();
    // A connection is open and was not seen to break.
    bool connected() const;

    // Runs sql (one or more commands, no parameters).
    PgResult Exec(const char* sql);
    // Runs one command with its parameters bound as text ($1, $2 ...; a
    // nullopt is NULL). Nothing of a parameter ever becomes SQL text.
    PgResult Exec(const char* sql, std::span<const std::optional<std::string_view>> parameters);

    // Why the last command failed, as one line: the server's message (and
    // its detail), or libpq's own when the server sent none.
    std::string ErrorLine(const PgResult& result) const;

    // The same as Exec, for callers that want the rows or the reason: the
    // result when the command succeeded, else nullopt with ErrorLine in
    // error. Run: a command without rows of interest (BEGIN, SET ...).
    using Parameters = std::vector<std::optional<std::string>>;
    std::optional<PgResult> Query(const char* sql, const Parameters& parameters,
                                  std::string& error);
    bool Run(const char* sql, std::string& error);
    // Runs sql with parameters and hands each row to onRow as it arrives
    // (libpq's single-row mode: one row in memory at a time; the row is
    // row 0 of the result handed over). False with error when the command
    // failed (rows may have been handed over before). Every result is
    // taken, so the connection is ready for the next command either way.
    bool Stream(const char* sql, const Parameters& parameters,
                const std::function<void(const PgResult& row)>& onRow, std::string& error);

    const std::string& uri() const { return uri_; }

private:
    pg_conn* connection_ = nullptr;
    std::string uri_;
};

// A text[] parameter's value: each element quoted, with its quotes and
// backslashes escaped, so that any text arrives as it is.
std::string ArrayLiteral(const std::vector<std::string>& elements);

// libpq's message (any number of lines, "FATAL:  " and the like before
// them) as one line, with the passwords of uri removed.
std::string OneLine(std::string_view message, const std::string& uri);

}  // namespace zul::records
