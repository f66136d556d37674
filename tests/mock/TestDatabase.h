#pragma once

#include <libpq-fe.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "records/Pg.h"

#ifndef ZUL_SOURCE_DIR
#error "ZUL_SOURCE_DIR must name the source tree (for records/sql)"
#endif

namespace zul::test {

// The text of a file of the source tree; empty when it cannot be read.
inline std::string SourceFile(const std::string& relative) {
    std::ifstream in(std::string(ZUL_SOURCE_DIR) + "/" + relative, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A database of a test's own on the test server (scripts/pg-server.sh,
// found through ZUL_PG_DIR), made with the migrations of records/sql up to
// a number, each applied in one transaction and recorded in zul10_schema as
// `zul10-records db migrate` records it; dropped at the end.
class TestDatabase {
public:
    explicit TestDatabase(int upTo = 9999) : server_(ServerUri()) {
        static std::atomic<int> made{0};
        name_ = "zul10_test_" + std::to_string(getpid()) + "_" + std::to_string(++made);
        uri_ = server_.substr(0, server_.rfind('/') + 1) + name_;
        Admin("CREATE DATABASE " + name_);
        std::string error;
        ok_ = db_.Connect(uri_, error) && ok_;
        error_ += error;
        std::vector<std::filesystem::path> files;
        for (const auto& e :
             std::filesystem::directory_iterator(std::string(ZUL_SOURCE_DIR) + "/records/sql")) {
            files.push_back(e.path());
        }
        std::sort(files.begin(), files.end());
        for (const auto& file : files) {
            const int number = std::stoi(file.filename().string().substr(0, 4));
            if (number > upTo) break;
            std::ifstream sql(file, std::ios::binary);
            std::ostringstream text;
            text << sql.rdbuf();
            Script("BEGIN;\n" + text.str() +
                   ";\nINSERT INTO zul10_schema (version, name) VALUES (" + std::to_string(number) +
                   ", '" + file.stem().string() + "');\nCOMMIT;");
        }
    }
    ~TestDatabase() { Admin("DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)"); }
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    // The URI of the server's own database (its uri file).
    static std::string ServerUri() {
        const char* dir = std::getenv("ZUL_PG_DIR");
        std::ifstream in(std::string(dir != nullptr ? dir : "") + "/uri");
        std::string uri;
        std::getline(in, uri);
        return uri;
    }

    // Whether everything so far worked; what did not.
    bool ok() const { return ok_; }
    const std::string& error() const { return error_; }
    const std::string& uri() const { return uri_; }
    records::PgConnection& db() { return db_; }

    // Runs sql (any number of statements, no parameters) on the database.
    bool Script(const std::string& sql) { return Exec(uri_, sql); }

    // The first field of the answer to sql, or "(error ...)".
    std::string Value(const std::string& sql) {
        std::string error;
        const auto rows = db_.Query(sql.c_str(), {}, error);
        if (!rows) return "(error " + error + ")";
        return rows->rows() > 0 ? std::string(rows->Text(0, 0)) : "(no rows)";
    }

    // Inserts record lines (JSON, one run each) as the delivery does
    // (tests/mock/load_records.sql), perCommit records a transaction, over
    // connection db (this one's by default). The runs inserted, or -1.
    static int64_t Insert(records::PgConnection& db, const std::vector<std::string>& lines,
                          size_t perCommit = 1) {
        static const std::string load = SourceFile("tests/mock/load_records.sql");
        std::string error;
        int64_t inserted = 0;
        for (size_t at = 0; at < lines.size(); at += perCommit) {
            bool ok = db.Run("SET client_min_messages = warning", error) &&
                      db.Run("BEGIN", error) &&
                      db.Run(
                          "CREATE TEMP TABLE IF NOT EXISTS incoming (record jsonb) "
                          "ON COMMIT DELETE ROWS",
                          error);
            for (size_t i = at; ok && i < std::min(lines.size(), at + perCommit); ++i) {
                ok = db.Query("INSERT INTO incoming VALUES ($1::jsonb)", {lines[i]}, error)
                         .has_value();
            }
            const auto rows = ok ? db.Query(load.c_str(), {}, error) : std::nullopt;
            if (!rows || !db.Run("COMMIT", error)) {
                db.Run("ROLLBACK", error);
                return -1;
            }
            inserted += rows->Int(0, 0).value_or(0);
        }
        return inserted;
    }
    int64_t Insert(const std::vector<std::string>& lines, size_t perCommit = 1) {
        return Insert(db_, lines, perCommit);
    }

private:
    bool Exec(const std::string& uri, const std::string& sql) {
        PGconn* conn = PQconnectdb(uri.c_str());
        PGresult* result = PQexec(conn, sql.c_str());
        const ExecStatusType status = PQresultStatus(result);
        const bool ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
        if (!ok) {
            ok_ = false;
            error_ += PQerrorMessage(conn);
        }
        PQclear(result);
        PQfinish(conn);
        return ok;
    }
    void Admin(const std::string& sql) { Exec(server_, sql); }

    std::string server_, name_, uri_, error_;
    records::PgConnection db_;
    bool ok_ = true;
};

}  // namespace zul::test
