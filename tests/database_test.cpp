// The records' database on the test server: the schema's migrations and
// their refusals, a run's fields, items, values and limits as its record has
// them (hostile text too), records the database cannot take, each error of
// a forward with its one line and the spool intact, and the folder beside
// the database.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <sstream>
#include <thread>
#include <tuple>

#include "adjust/JudgedValues.h"
#include "mock/DatabaseRecords.h"
#include "mock/SpooledRuns.h"
#include "mock/TestDatabase.h"
#include "records/DatabaseDestination.h"
#include "records/DatabaseUri.h"
#include "records/FolderDestination.h"
#include "records/Forward.h"

namespace zul {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using records::Migration;
using records::SchemaCommand;
using test::TemporaryDirectory;
using test::TestDatabase;

TEST(DatabaseUri, PasswordsNeverLeaveTheUri) {
    using records::Scrubbed;
    using records::WithoutPassword;
    EXPECT_EQ(WithoutPassword("postgresql://bench:pa%40ss@db:5432/zul10?sslmode=require"),
              "postgresql://bench@db:5432/zul10?sslmode=require");
    // The user part ends at the first "@" before any "/", as libpq reads it.
    EXPECT_EQ(WithoutPassword("postgres://u:p?w@h/d"), "postgres://u@h/d");
    EXPECT_EQ(WithoutPassword("postgresql://h/d?pass%77ord=x&sslmode=disable&sslpassword=y"),
              "postgresql://h/d?sslmode=disable");
    EXPECT_EQ(WithoutPassword("postgresql://h/d?password=x"), "postgresql://h/d");
    EXPECT_EQ(WithoutPassword("host=db password = 'it\\'s \\\\ x' dbname=zul10"),
              "host=db dbname=zul10");
    EXPECT_EQ(WithoutPassword("host=db password='unclosed"), "(an unreadable connection string)");
    EXPECT_EQ(records::DatabaseKey("postgresql://u:secret@h/d"), "database postgresql://u@h/d");
    EXPECT_EQ(Scrubbed("bad URI \"postgresql://u:secret@[h/d\"; secret again",
                       "postgresql://u:secret@[h/d"),
              "bad URI \"postgresql://u@[h/d\"; *** again");
}

// A migration that fails halfway: its first table must not stay.
const Migration kExtra[] = {
    records::KnownMigrations()[0],
    {2, "second", "CREATE TABLE second (x int); CREATE INDEX ON second (x);"},
    {3, "broken", "CREATE TABLE third (x int); SELECT no_such_function();"},
};

TEST(DatabaseSchema, InitAndMigrateApplyEachMigrationOnceAndRefuseANewerSchema) {
    TestDatabase db(0);
    records::PgConnection& c = db.connection();
    // A program that knows the first migration, then one that knows two
    // more of this test's own.
    const std::span<const Migration> known = records::KnownMigrations().first(1);
    const std::span<const Migration> upToTwo(kExtra, 2), all(kExtra);

    auto report = records::ApplyMigrations(c, "db", SchemaCommand::kMigrate, known);
    EXPECT_FALSE(report.ok);
    EXPECT_NE(report.error.find("db init makes it"), std::string::npos) << report.error;
    // Two inits at once: each migration applied once, both content.
    std::thread other([&] {
        records::PgConnection second;
        std::string error;
        ASSERT_TRUE(second.Connect(db.uri(), error)) << error;
        const auto theirs = records::ApplyMigrations(second, "db", SchemaCommand::kInit, known);
        EXPECT_TRUE(theirs.ok) << theirs.error;
    });
    report = records::ApplyMigrations(c, "db", SchemaCommand::kInit, known);
    other.join();
    EXPECT_TRUE(report.ok) << report.error;
    EXPECT_EQ(db.Number("SELECT count(*) FROM zul10_schema"), 1);
    EXPECT_EQ(db.Text("SELECT name FROM zul10_schema WHERE version = 1"), "runs");

    report = records::ApplyMigrations(c, "db", SchemaCommand::kInit, upToTwo);
    EXPECT_FALSE(report.ok);
    EXPECT_NE(report.error.find("db migrate brings it up to 2"), std::string::npos);
    report = records::ApplyMigrations(c, "db", SchemaCommand::kMigrate, all);
    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.applied, std::vector<std::string>{"0002_second"});
    EXPECT_NE(report.error.find("migration 0003_broken failed and was rolled back"),
              std::string::npos)
        << report.error;
    EXPECT_EQ(db.Number("SELECT max(version) FROM zul10_schema"), 2);
    EXPECT_EQ(db.Text("SELECT to_regclass('third') IS NULL"), "t");

    // A schema newer than the program: both commands refuse it, through the
    // program too.
    db.Exec("INSERT INTO zul10_schema (version, name) VALUES (99, 'future')");
    for (const char* command : {"init", "migrate"}) {
        TemporaryDirectory scratch;
        const auto [code, output] =
            test::RunRecords({"db", command, db.uri()}, scratch.path().string());
        EXPECT_EQ(code, 1) << output;
        EXPECT_EQ(output, "zul10-records db: the database " + db.uri() +
                              " holds schema version 99, newer than this program's " +
                              std::to_string(records::KnownMigrations().back().version) +
                              ": a newer zul10-records is needed\n");
    }
}

TEST(DatabaseDelivery, ARunsFieldsItemsValuesAndLimitsAreStoredAsItsRecordHasThem) {
    TestDatabase db;
    TemporaryDirectory dir;
    const records::Spool spool(dir.File("spool"));
    // Text that would break SQL built from it, and text beyond ASCII.
    const std::string hostile[] = {"O'Brien \"the bench\"", "back\\slash\\", "a;b;c",
                                   "'); DROP TABLE runs; --", "第二ライン\tタブ"};
    // In the writer's order of fields (the reader wants an item's number
    // first).
    nlohmann::ordered_json complete = nlohmann::ordered_json::parse(test::RealRecord(false));
    nlohmann::ordered_json failed = nlohmann::ordered_json::parse(test::RealRecord(true));
    complete["run_id"] = test::RunUuid(1);
    complete["start"] = "2026-03-01T08:00:00.500+09:00";  // the previous day in UTC
    complete["end"] = "2026-03-01T08:00:13.250+09:00";
    failed["run_id"] = test::RunUuid(2);
    failed["station"] = hostile[0];
    failed["unit"] = hostile[1];
    failed["user"] = hostile[2];
    failed["cause"] = hostile[3];
    failed["items"][2]["report"] = {hostile[3], hostile[4], ""};
    std::string error;
    ASSERT_TRUE(spool.Append("2026-03-01", complete.dump() + "\n" + failed.dump() + "\n", error));

    const auto [code, output] = test::RunRecords(
        {"forward", "--spool", spool.folder(), "--database", db.uri()}, dir.path().string());
    EXPECT_EQ(code, 0) << output;
    EXPECT_EQ(output, "");
    const auto column = [&](const std::string& id, const std::string& expression) {
        return db.Text("SELECT " + expression + " FROM runs WHERE run_id = '" + id + "'");
    };
    const std::string one = test::RunUuid(1), two = test::RunUuid(2);
    EXPECT_EQ(column(one, "started_at::text"), "2026-02-28 23:00:00.5+00");
    EXPECT_EQ(column(one, "start_date::text"), "2026-03-01");
    EXPECT_EQ(column(one, "ended_at - started_at"), "00:00:12.75");
    EXPECT_EQ(column(one,
                     "concat_ws('|', format, outcome, failed_item IS NULL, cause IS NULL, "
                     "unit IS NULL, exchanges, retries, seconds, port, line)"),
              "2|complete|t|t|t|" + std::to_string(complete["exchanges"].get<int>()) +
                  "|0|12|COM1|9600 8E1");
    EXPECT_EQ(column(one, "concat_ws('|', operator, host, program_version, limits_revision)"),
              complete["user"].get<std::string>() + "|" + complete["host"].get<std::string>() +
                  "|1.01-01|" + complete["limits"].get<std::string>());
    EXPECT_EQ(Json::parse(column(one, "record::text")), Json::parse(complete.dump()));
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(column(two, std::string("(ARRAY[station, unit, operator, cause])[") +
                                  std::to_string(i + 1) + "]"),
                  hostile[i]);
    }
    EXPECT_EQ(column(two, "concat_ws('|', outcome, failed_item)"), "failed|3");
    EXPECT_EQ(db.Text("SELECT concat_ws('|', verdict, eeprom_written, array_to_json(report)) "
                      "FROM items WHERE item = 3 AND run_id = '" +
                      two + "'"),
              "fail|f|" + failed["items"][2]["report"].dump());
    EXPECT_EQ(db.Number("SELECT count(*) FROM items WHERE run_id = '" + two + "'"), 3);
    EXPECT_EQ(db.Number("SELECT count(*) FROM items WHERE run_id = '" + one + "'"), 7);
    // Every value of the records, the failing one with its limits; the
    // levers and the speed without a slot.
    db.ExpectRunsWhole(2);
    const std::string values = "SELECT count(*) FROM measured_values WHERE run_id = '";
    EXPECT_EQ(db.Number(values + one + "'"), static_cast<long long>(kJudgedValues.size()));
    EXPECT_EQ(db.Number(values + one + "' AND slot = -1"), 7);
    EXPECT_EQ(db.Text("SELECT concat_ws('|', item, name, slot, label, value, lower, upper) "
                      "FROM measured_values WHERE verdict = 'fail' AND run_id = '" +
                      two + "'"),
              "3|ad|3|Front Red|61|62|92");
    EXPECT_EQ(column(two, "record->>'station'"), hostile[0]);
}

TEST(DatabaseDelivery, RecordsTheDatabaseCannotTakeAreLeftOutAndTheRestGoIn) {
    TestDatabase db;
    TemporaryDirectory dir;
    const records::Spool spool(dir.File("spool"));
    test::SpoolRealRuns(spool, 0, 1);
    const std::string good = test::RealRecord(false);
    nlohmann::ordered_json newer =
        nlohmann::ordered_json::parse(test::Restamped(good, test::RunUuid(1)));
    newer["format"] = 3;
    std::string error;
    // A run id that is no UUID: only the server refuses it, so the batch is
    // tried again record by record.
    ASSERT_TRUE(spool.Append(
        "2026-03-01", newer.dump() + "\n" + test::Restamped(good, "not-a-uuid") + "\n", error));
    test::SpoolRealRuns(spool, 2, 2);

    const std::vector<std::string> forward{"forward", "--spool", spool.folder(), "--database",
                                           db.uri()};
    auto [code, output] = test::RunRecords(forward, dir.path().string());
    EXPECT_EQ(code, 1);
    std::istringstream lines(output);
    std::string line;
    ASSERT_TRUE(std::getline(lines, line));
    EXPECT_NE(line.find("run " + test::RunUuid(1) + " is no record the database"),
              std::string::npos)
        << line;
    EXPECT_NE(line.find("written by a newer version (format 3)"), std::string::npos) << line;
    ASSERT_TRUE(std::getline(lines, line));
    EXPECT_NE(line.find("run not-a-uuid is refused by the database"), std::string::npos) << line;
    EXPECT_NE(line.find("invalid input syntax for type uuid"), std::string::npos) << line;
    EXPECT_FALSE(std::getline(lines, line));
    EXPECT_EQ(db.Number("SELECT count(*) FROM runs"), 3);
    // Taken as delivered: the next forward has nothing to tell.
    std::tie(code, output) = test::RunRecords(forward, dir.path().string());
    EXPECT_EQ(code, 0);
    EXPECT_EQ(output, "");
}

// A role that must give its password (scram-sha-256 in the server's
// pg_hba.conf, ahead of the lines that trust everyone), dropped when it goes.
struct PasswordRole {
    explicit PasswordRole(TestDatabase& db) : db(db) {
        db.Admin("CREATE ROLE " + name + " LOGIN PASSWORD 'right horse'");
        // The grants the records guide gives a bench's role, and no more.
        db.Exec("GRANT SELECT, INSERT ON runs, items, measured_values TO " + name);
        db.Exec("GRANT SELECT ON zul10_schema TO " + name);
        const std::string hba = db.Text("SELECT setting FROM pg_settings WHERE name = 'hba_file'");
        const std::string lines = test::ReadFile(hba);
        test::WriteFile(hba, "host all " + name + " 127.0.0.1/32 scram-sha-256\n" + lines);
        db.Admin("SELECT pg_reload_conf()");
        // The postmaster reads it again in its own time.
        for (int tries = 0; tries < 500; ++tries) {
            records::PgConnection probe;
            std::string error;
            if (!probe.Connect(db.uri(name), error)) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~PasswordRole() {
        db.Exec("REVOKE ALL ON ALL TABLES IN SCHEMA public FROM " + name);
        db.Admin("DROP ROLE " + name);
    }
    TestDatabase& db;
    const std::string name = "zul10_password_" + std::to_string(getpid());
};

TEST(DatabaseDelivery, EachErrorIsOneLineAndTheSpoolStaysIntact) {
    TestDatabase db, uninitialised(false), newer;
    newer.Exec("INSERT INTO zul10_schema (version, name) VALUES (99, 'future')");
    PasswordRole role(db);
    TemporaryDirectory dir;
    const records::Spool spool(dir.File("spool"));
    test::SpoolRealRuns(spool, 0, 3);
    const std::string passfile = dir.File("pgpass");
    const auto expectRefused = [&](const std::string& uri, const std::string& why,
                                   const std::string& password) {
        SCOPED_TRACE(uri);
        test::WriteFile(passfile, "127.0.0.1:*:*:" + role.name + ":" + password + "\n");
        chmod(passfile.c_str(), 0600);
        const auto [code, output] =
            test::RunRecords({"forward", "--spool", spool.folder(), "--database", uri},
                             dir.path().string(), {"PGPASSFILE=" + passfile});
        EXPECT_EQ(code, 1);
        EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
        EXPECT_NE(output.find("3 run records of " + spool.FileOf("2026-03-01") +
                              " could not be delivered to the database " +
                              records::WithoutPassword(uri) + ": "),
                  std::string::npos)
            << output;
        EXPECT_NE(output.find(why), std::string::npos) << output;
        EXPECT_NE(test::ReadFile(spool.LogPath()).find(output.substr(0, output.size() - 1)),
                  std::string::npos);
        EXPECT_EQ(output.find("secret"), std::string::npos);
        EXPECT_EQ(spool.CountWaiting(records::DatabaseKey(uri), {}).records, 3);
    };
    expectRefused(db.uri(role.name), "password authentication failed for user", "wrong horse");
    expectRefused(db.uri(role.name + ":secret"), "password authentication failed", "");
    expectRefused(test::UriOf(test::ServerFolder(), "zul10_no_such_database"),
                  "database \"zul10_no_such_database\" does not exist", "");
    expectRefused(db.uri() + "?sslmode=require", "server does not support SSL", "");
    expectRefused("postgresql://zul10@127.0.0.1:1/zul10", "Connection refused", "");
    expectRefused(uninitialised.uri(),
                  uninitialised.uri() + " holds no ZUL10 schema: zul10-records db init makes it",
                  "");
    expectRefused(newer.uri(), "holds schema version 99, newer than this program's", "");

    // The right password from the password file: delivered, as the role
    // the README asks for may.
    test::WriteFile(passfile, "127.0.0.1:*:*:" + role.name + ":right horse\n");
    const auto [code, output] =
        test::RunRecords({"forward", "--spool", spool.folder(), "--database", db.uri(role.name)},
                         dir.path().string(), {"PGPASSFILE=" + passfile});
    EXPECT_EQ(code, 0) << output;
    EXPECT_EQ(db.Number("SELECT count(*) FROM runs"), 3);
}

TEST(DatabaseDelivery, TheFolderAndTheDatabaseEachTakeTheirRecordsWhenTheyCan) {
    TestDatabase db;
    TemporaryDirectory dir;
    const records::Spool spool(dir.File("spool"));
    test::SpoolRealRuns(spool, 0, 4, 0, "BENCH-1", 2);
    const std::string old = spool.FileOf("2026-03-01");
    fs::last_write_time(old, fs::file_time_type::clock::now() -
                                 std::chrono::hours(24 * (records::Spool::kKeepDays + 1)));
    const std::string share = dir.File("share");  // not mounted yet
    records::FolderDestination folder(share);
    records::DatabaseDestination database(db.uri(), records::KnownMigrations().back().version);
    records::Destination* const both[] = {&folder, &database};

    std::ostringstream errors;
    EXPECT_EQ(records::Forward(spool, both, errors).exitCode, 1);
    EXPECT_NE(errors.str().find("could not be delivered to the records folder"), std::string::npos);
    EXPECT_EQ(db.Number("SELECT count(*) FROM runs"), 4);
    EXPECT_EQ(spool.CountWaiting(folder.Key(), {}).records, 4);
    EXPECT_EQ(spool.CountWaiting(database.Key(), {}).records, 0);
    EXPECT_TRUE(fs::exists(old));  // the folder has not got it

    fs::create_directory(share);
    errors.str("");
    const records::ForwardResult back = records::Forward(spool, both, errors);
    EXPECT_EQ(back.exitCode, 0) << errors.str();
    EXPECT_EQ(back.delivered, 4);  // to the folder alone
    EXPECT_EQ(test::RunIdCounts(share).size(), 4u);
    EXPECT_EQ(db.Number("SELECT count(*) FROM runs"), 4);
    EXPECT_FALSE(fs::exists(old));  // both have it now
}

}  // namespace
}  // namespace zul
