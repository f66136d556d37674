#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "records/DatabaseDestination.h"
#include "records/DatabaseSchema.h"
#include "records/PgConnection.h"

namespace zul::test {

// The test server of the CTest fixture (tests/database.cmake,
// scripts/pg-server.sh), found through ZUL_PG_DIR: its folder, whose file
// "uri" holds its 127.0.0.1 URI (postgresql://zul10@127.0.0.1:PORT/zul10).
// A suite that cannot be given the variable has the folder built in.
inline std::string ServerFolder() {
    const char* dir = std::getenv("ZUL_PG_DIR");
#ifdef ZUL_PG_DIR_BUILT
    if (dir == nullptr) dir = ZUL_PG_DIR_BUILT;
#endif
    return dir != nullptr ? dir : "";
}

// The first line of the file at path; empty when there is none.
inline std::string FirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// The URI of a server folder's server with another database (and user).
inline std::string UriOf(const std::string& serverFolder, const std::string& database,
                         const std::string& user = "zul10") {
    std::string uri = FirstLine(serverFolder + "/uri");  // postgresql://zul10@127.0.0.1:PORT/zul10
    const size_t at = uri.find('@');
    const size_t slash = uri.rfind('/');
    if (at == std::string::npos || slash == std::string::npos || slash < at) return {};
    return "postgresql://" + user + uri.substr(at, slash + 1 - at) + database;
}

// A database of its own on a test server, made fresh (its name from the
// process and a counter, so that suites and tests never share one) and
// dropped when the object goes. With init, the schema is made as db init
// makes it.
class TestDatabase {
public:
    // The migrations up to upTo (db init's, all of them by default; none
    // with 0).
    static constexpr int kAll = 9999;
    explicit TestDatabase(int upTo = kAll, std::string serverFolder = ServerFolder())
        : server_(std::move(serverFolder)) {
        static std::atomic<int> counter{0};
        name_ = "zul10_test_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
        std::string error;
        EXPECT_TRUE(admin_.Connect(UriOf(server_, "zul10"), error)) << error;
        Admin("CREATE DATABASE " + name_ + " ENCODING 'UTF8' TEMPLATE template0");
        EXPECT_TRUE(connection_.Connect(uri(), error)) << error;
        const auto known = records::KnownMigrations();
        const auto migrations = known.first(std::min<size_t>(known.size(), upTo));
        if (!migrations.empty()) {
            const records::MigrationReport report = records::ApplyMigrations(
                connection_, name_, records::SchemaCommand::kInit, migrations);
            EXPECT_TRUE(report.ok) << report.error;
        }
    }
    ~TestDatabase() {
        connection_.Close();
        Admin("DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
    }
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    const std::string& name() const { return name_; }
    // Connects again (after its server was stopped and started).
    void Reconnect() {
        std::string error;
        EXPECT_TRUE(admin_.Connect(UriOf(server_, "zul10"), error)) << error;
        EXPECT_TRUE(connection_.Connect(uri(), error)) << error;
    }
    // Every run of the database there once, count of them, each with all its
    // items and judged values.
    void ExpectRunsWhole(long long count) {
        EXPECT_EQ(Number("SELECT count(*) FROM runs"), count);
        EXPECT_EQ(Number(R"(
            SELECT count(*) FROM runs r
            WHERE (SELECT count(*) FROM items i WHERE i.run_id = r.run_id)
                      <> jsonb_array_length(r.record->'items')
               OR (SELECT count(*) FROM measured_values v WHERE v.run_id = r.run_id)
                      <> (SELECT coalesce(sum(jsonb_array_length(i->'values')), 0)
                          FROM jsonb_array_elements(r.record->'items') i))"),
                  0);
    }
    // Its 127.0.0.1 URI, as the bench would name it.
    std::string uri(const std::string& user = "zul10") const { return UriOf(server_, name_, user); }
    records::PgConnection& connection() { return connection_; }

    // Runs sql in the database; fails the test when it fails.
    void Exec(const std::string& sql) {
        const records::PgResult result = connection_.Exec(sql.c_str());
        EXPECT_TRUE(result.ok()) << sql << ": " << connection_.ErrorLine(result);
    }
    // The first field of the first row of a query, as text ("" for none).
    std::string Text(const std::string& sql) {
        const records::PgResult result = connection_.Exec(sql.c_str());
        EXPECT_TRUE(result.ok()) << sql << ": " << connection_.ErrorLine(result);
        return result.Text(0, 0);
    }
    // The same as a number.
    long long Number(const std::string& sql) {
        const std::string text = Text(sql);
        return text.empty() ? -1 : std::stoll(text);
    }

    // Runs sql in the server's own database zul10 (roles, the server).
    void Admin(const std::string& sql) {
        const records::PgResult result = admin_.Exec(sql.c_str());
        EXPECT_TRUE(result.ok()) << sql << ": " << admin_.ErrorLine(result);
    }

    records::PgConnection& db() { return connection_; }
    // The URI of the server's own database.
    static std::string ServerUri() { return FirstLine(ServerFolder() + "/uri"); }

    // Runs sql (statements without parameters); false when it failed.
    bool Script(const std::string& sql) {
        const records::PgResult result = connection_.Exec(sql.c_str());
        EXPECT_TRUE(result.ok()) << sql << ": " << connection_.ErrorLine(result);
        return result.ok();
    }
    // The first field of the answer to sql, or "(error ...)" / "(no rows)".
    std::string Value(const std::string& sql) {
        std::string error;
        const auto rows = connection_.Query(sql.c_str(), {}, error);
        if (!rows) return "(error " + error + ")";
        return rows->rows() > 0 ? rows->Text(0, 0) : "(no rows)";
    }

    // Delivers record lines as forward does (the delivery's own statement),
    // perCommit records a transaction, over connection db. The runs
    // inserted, or -1 when a statement failed.
    static int64_t Insert(records::PgConnection& db, const std::vector<std::string>& lines,
                          size_t perCommit = 1) {
        std::string error;
        int64_t inserted = 0;
        for (size_t at = 0; at < lines.size(); at += perCommit) {
            const auto rows =
                db.Query(records::DatabaseDestination::InsertStatement(),
                         {JsonArray(lines, at, std::min(lines.size(), at + perCommit))}, error);
            if (!rows) return -1;
            inserted += rows->Int(0, 0).value_or(0);
        }
        return inserted;
    }
    int64_t Insert(const std::vector<std::string>& lines, size_t perCommit = 1) {
        return Insert(connection_, lines, perCommit);
    }
    // Lines [from, to) as the JSON array the delivery's statement takes.
    static std::string JsonArray(const std::vector<std::string>& lines, size_t from, size_t to) {
        std::string array = "[";
        for (size_t i = from; i < to; ++i) array += (i > from ? "," : "") + lines[i];
        return array + "]";
    }

private:
    std::string server_;
    std::string name_;
    records::PgConnection admin_;
    records::PgConnection connection_;
};

}  // namespace zul::test
