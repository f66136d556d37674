// The report read from the database: the same report as from a folder of
// the same records, the views, the totals kept by the schema's triggers
// under every change and under stations committing at once, and the
// databases the report refuses. Against the real server of the test run
// (tests/database.cmake), each test in a database of its own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "mock/RecordJson.h"
#include "mock/TemporaryDirectory.h"
#include "mock/TestDatabase.h"
#include "records/DatabaseReport.h"
#include "records/FolderDestination.h"
#include "records/Numbers.h"

namespace zul {
namespace {

using Json = nlohmann::ordered_json;
using test::TemporaryDirectory;
using test::TestDatabase;

struct Ran {
    int code = -1;
    std::string out, err;
};

// Runs program with args, its outputs into files of dir.
Ran Start(const TemporaryDirectory& dir, const std::string& program,
          std::vector<std::string> args) {
    const pid_t child = fork();
    if (child == 0) {
        dup2(open(dir.File("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
        dup2(open(dir.File("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
        args.insert(args.begin(), program);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, test::ReadFile(dir.File("out")),
            test::ReadFile(dir.File("err"))};
}
Ran Records(const TemporaryDirectory& dir, std::vector<std::string> args) {
    return Start(dir, ZUL10_RECORDS_BINARY, std::move(args));
}

std::string WithoutFirstLine(const std::string& text) {
    return text.substr(std::min(text.size(), text.find('\n') + 1));
}

// The first line where a and b differ, both of them; "" when they are equal.
std::string FirstDifference(const std::string& a, const std::string& b) {
    std::istringstream as(a), bs(b);
    std::string la, lb;
    for (int n = 1;; ++n) {
        const bool moreA = static_cast<bool>(std::getline(as, la));
        const bool moreB = static_cast<bool>(std::getline(bs, lb));
        if (!moreA && !moreB) return a == b ? "" : "(line ends differ)";
        if (la != lb || moreA != moreB) {
            return "line " + std::to_string(n) + ":\n" + la + "\n" + lb;
        }
    }
}

std::string Replaced(std::string text, const std::string& what, const std::string& by) {
    for (size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += by.size()) {
        text.replace(at, what.size(), by);
    }
    return text;
}

// A record of format 2 (tests/mock/RecordJson.h) with the motor speed as
// its one judged value (none for speed -1).
Json Record(int n, const std::string& start, const std::string& unit, int speed,
            const std::string& outcome = "complete", const std::string& station = "S1") {
    char id[40];
    std::snprintf(id, sizeof id, "00000000-0000-4000-8000-%012d", n);
    Json r = test::Record(id, start, unit, station);
    if (outcome == "failed") r = test::Failed(r, 7, "XXX  Motor speed error !  XXX");
    if (outcome == "communication error") {
        r = test::Failed(r, 7, "Communication error", "communication error");
    }
    if (outcome == "cancelled") r["outcome"] = outcome;
    if (speed >= 0) r["items"].push_back(test::SpeedItem(speed));
    return r;
}

// Every total the triggers keep, as one digest.
constexpr const char* kTotals =
    "SELECT md5(string_agg(t, E'\\n' ORDER BY t COLLATE \"C\")) FROM ("
    " SELECT 'r' || c::text AS t FROM zul10_run_counts c"
    " UNION ALL SELECT 'v' || v::text FROM zul10_value_counts v"
    " UNION ALL SELECT 'u' || u::text FROM zul10_units u"
    " UNION ALL SELECT 'c' || count(*) FROM zul10_counted) s";

// Whether the totals are what a recount from the tables gives.
::testing::AssertionResult TotalsAsRecounted(TestDatabase& t) {
    const std::string kept = t.Value(kTotals);
    std::string error;
    t.db().Run("BEGIN", error);
    t.Value("SELECT zul10_recount()");
    const std::string recounted = t.Value(kTotals);
    t.db().Run("ROLLBACK", error);
    if (kept == recounted && kept.find("error") == std::string::npos) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "kept " << kept << ", recounted " << recounted;
}

std::vector<std::string> Dumped(const std::vector<Json>& records) {
    std::vector<std::string> lines;
    for (const Json& r : records) lines.push_back(r.dump());
    return lines;
}

TEST(DatabaseReport, GivesTheFolderReportOfTheSameRecords) {
    TemporaryDirectory dir;
    TestDatabase t;
    ASSERT_FALSE(HasFailure());
    // Records of three stations written by the program's own writer (the
    // last station scans no serial numbers), format 2 only.
    ASSERT_EQ(
        Start(dir, ZUL_RECORD_GEN, {dir.File("gen"), "2", "--seed", "5", "--stations", "3"}).code,
        0);
    std::map<std::string, std::vector<std::string>> files;
    std::vector<std::string> lines;
    Json model;
    for (const auto& entry : std::filesystem::directory_iterator(dir.File("gen"))) {
        std::ifstream in(entry.path());
        for (std::string line; std::getline(in, line);) {
            if (line.find("\"format\":2") == std::string::npos) continue;
            files[entry.path().filename().string()].push_back(line);
            lines.push_back(line);
            if (model.empty()) model = Json::parse(line);
        }
    }
    ASSERT_GT(lines.size(), 200u);
    // And runs made for the orders of ties and for hostile text.
    const auto add = [&](int n, const std::string& station, const std::string& time,
                         const std::string& unit, const std::string& outcome,
                         const std::string& cause = "", double seconds = 12.0) {
        Json r = model;
        char id[40];
        std::snprintf(id, sizeof id, "ffffffff-0000-4000-8000-%012d", n);
        r["run_id"] = id;
        r["station"] = r["host"] = station;
        r["start"] = r["end"] = "2026-02-02T" + time + "+09:00";
        r["outcome"] = outcome;
        r["seconds"] = seconds;
        if (unit.empty()) r.erase("unit");
        if (!unit.empty()) r["unit"] = unit;
        if (!cause.empty()) {
            r["failed_item"] = 3;
            r["cause"] = cause;
        }
        files[records::FolderDestination::FileName("2026-02-02", station)].push_back(r.dump());
        lines.push_back(r.dump());
    };
    // Station A-B's file is read before A's ('-' before '.'), though A's run
    // of unit SPLIT, with no verdict, came first: the unit is A's.
    add(1, "A-B", "11:00:00.000", "SPLIT", "cancelled");
    add(2, "A", "10:00:00.000", "SPLIT", "closed");
    // A complete and a failed run of one unit in one second: the failure is
    // its first run and its last.
    add(3, "A", "12:00:00.100", "TIE", "complete");
    add(4, "A", "12:00:00.900", "TIE", "failed", "XXX  Beta !  XXX");
    add(5, "A", "12:01:00.000", "TIE2", "failed", "XXX  Alpha !  XXX");
    // Three runs of one length: by start, then by run id.
    add(9, "A", "13:00:00.000", "", "complete", "", 999.5);
    add(8, "A-B", "13:00:00.000", "", "complete", "", 999.5);
    add(7, "A", "12:59:00.000", "", "complete", "", 999.5);
    // Text no query and no output may act on.
    const std::string hostile = "q'\"\\;'); DROP TABLE runs; --\x1b[31m\xe6\x97\xa5";
    add(10, hostile, "14:00:00.000", hostile, "failed", "XXX  It's \"" + hostile + "  XXX");
    const std::string folder = dir.File("f");
    std::filesystem::create_directory(folder);
    // Each file in the order of start, as one bench delivers its runs.
    for (auto& [name, file] : files) {
        std::stable_sort(file.begin(), file.end(), [](const std::string& a, const std::string& b) {
            return Json::parse(a)["start"] < Json::parse(b)["start"];
        });
        std::string text;
        for (const std::string& line : file) text += line + "\n";
        test::WriteFile(folder + "/" + name, text);
    }
    ASSERT_EQ(t.Insert(lines, 25), static_cast<int64_t>(lines.size()));
    EXPECT_EQ(t.Value("SELECT count(*) FROM runs"), std::to_string(lines.size()));

    for (const std::vector<std::string>& range : std::vector<std::vector<std::string>>{
             {}, {"--from", "2026-01-06", "--to", "2026-02-30"}, {"--to", "2026-01-07"}}) {
        const auto with = [&](std::vector<std::string> args) {
            args.insert(args.end(), range.begin(), range.end());
            return args;
        };
        const Ran fromFolder = Records(dir, with({"summary", folder}));
        const Ran fromDatabase = Records(dir, with({"summary", t.uri()}));
        ASSERT_EQ(fromDatabase.code, 0) << fromDatabase.err;
        EXPECT_EQ(
            FirstDifference(WithoutFirstLine(fromDatabase.out), WithoutFirstLine(fromFolder.out)),
            "");
        EXPECT_EQ(fromDatabase.out.find("ZUL10 run records in " + t.uri() + ": "), 0u);
        EXPECT_EQ(FirstDifference(Records(dir, with({"csv", t.uri()})).out,
                                  Records(dir, with({"csv", folder})).out),
                  "");
        ASSERT_EQ(Records(dir, with({"html", folder, "-o", dir.File("f.html")})).code, 0);
        ASSERT_EQ(Records(dir, with({"html", t.uri(), "-o", dir.File("d.html")})).code, 0);
        EXPECT_EQ(FirstDifference(test::ReadFile(dir.File("d.html")),
                                  Replaced(test::ReadFile(dir.File("f.html")), folder, t.uri())),
                  "");
    }
    // The orders both give: the slowest by start, then run id.
    const std::string summary = Records(dir, {"summary", t.uri()}).out;
    const size_t slow = summary.find("2026-02-02T12:59:00.000+09:00 A ");
    EXPECT_LT(slow, summary.find("2026-02-02T13:00:00.000+09:00 A-B"));
    EXPECT_LT(summary.find("2026-02-02T13:00:00.000+09:00 A-B"),
              summary.find("2026-02-02T13:00:00.000+09:00 A "));
    EXPECT_EQ(summary.find("DROP TABLE runs; --\x1b"), std::string::npos);
    EXPECT_EQ(t.Value("SELECT first_pass::text || final_pass::text || station FROM "
                      "zul10_first_pass_by_unit WHERE unit = 'TIE'"),
              "falsefalseA");
    EXPECT_EQ(t.Value("SELECT station FROM zul10_first_pass_by_unit WHERE unit = 'SPLIT'"), "A");
    std::string error;
    const auto stored = t.db().Query("SELECT count(*) FROM runs WHERE station = $1 AND unit = $1",
                                     {hostile}, error);
    ASSERT_TRUE(stored) << error;
    EXPECT_EQ(stored->Text(0, 0), "1");
}

TEST(DatabaseReport, ViewsAnswerWhatTheyClaim) {
    TestDatabase t;
    ASSERT_FALSE(HasFailure());
    const std::vector<int> speeds = {100, 104, 110, 120, 80};
    ASSERT_EQ(t.Insert(Dumped({
                  Record(1, "2026-03-02T09:00:00.000+09:00", "U1", speeds[4], "failed"),
                  Record(2, "2026-03-02T10:00:00.000+09:00", "U1", speeds[0]),
                  Record(3, "2026-03-02T09:30:00.000+09:00", "U2", speeds[1]),
                  Record(4, "2026-03-02T11:00:00.000+09:00", "", -1, "communication error"),
                  Record(5, "2026-03-02T11:30:00.000+09:00", "U3", -1, "cancelled"),
                  Record(6, "2026-03-03T09:00:00.000+09:00", "U3", speeds[2], "complete", "S2"),
                  Record(7, "2026-03-03T10:00:00.000+09:00", "U2", speeds[3], "complete", "S2"),
              })),
              7);
    const auto row = [&](const std::string& sql) {
        return t.Value("SELECT concat_ws(' ', " + sql);
    };
    EXPECT_EQ(row("runs, complete, failed, communication_errors, stopped, yield_percent) FROM "
                  "zul10_yield_per_day WHERE day = '2026-03-02' AND station = 'S1'"),
              "5 2 1 1 1 66.7");
    EXPECT_EQ(row("runs, complete, yield_percent) FROM zul10_yield_per_day WHERE station = 'S2'"),
              "2 2 100.0");
    // U1 failed first, then completed; U3's first run (cancelled) is no
    // verdict, its station that of its first verdict.
    EXPECT_EQ(row("runs, first_pass, final_pass, station) FROM zul10_first_pass_by_unit "
                  "WHERE unit = 'U1'"),
              "2 f t S1");
    EXPECT_EQ(row("runs, first_pass, station) FROM zul10_first_pass_by_unit WHERE unit = 'U3'"),
              "2 t S2");
    EXPECT_EQ(row("units, judged, first_pass, final_pass) FROM zul10_first_pass_by_station "
                  "WHERE station = 'S1'"),
              "2 2 1 2");
    // The motor speed by the textbook's two passes.
    double mean = 0, ss = 0;
    for (int s : speeds) mean += s / 5.0;
    for (int s : speeds) ss += (s - mean) * (s - mean);
    const double sd = std::sqrt(ss / 4);
    EXPECT_EQ(row("n, min, max, round(mean::numeric, 9), round(sd::numeric, 9), "
                  "round(cp::numeric, 9), round(cpk::numeric, 9), outside_share) "
                  "FROM zul10_capability WHERE item = 7 AND name = 'speed'"),
              "5 80 120 " + records::Fixed(mean, 9) + " " + records::Fixed(sd, 9) + " " +
                  records::Fixed((121 - 89) / (6 * sd), 9) + " " +
                  records::Fixed(std::min(121 - mean, mean - 89) / (3 * sd), 9) + " 0.2");
}

TEST(DatabaseReport, TotalsFollowEveryChangeAsARecountWould) {
    TestDatabase t;
    ASSERT_FALSE(HasFailure());
    // Text longer than a btree entry takes, as a station and a cause.
    const std::string huge(5000, 'x');
    std::vector<Json> records;
    for (int i = 0; i < 40; ++i) {
        const char* outcomes[] = {"complete", "failed", "communication error", "cancelled"};
        records.push_back(Record(i,
                                 "2026-04-0" + std::to_string(1 + i % 3) +
                                     "T09:" + std::to_string(10 + i) + ":00.000+09:00",
                                 "U" + std::to_string(i % 7), 90 + i % 11, outcomes[i % 4],
                                 i % 5 == 0 ? huge : "S" + std::to_string(i % 2)));
    }
    records[3]["cause"] = huge;
    ASSERT_EQ(t.Insert(Dumped(records), 7), 40);
    EXPECT_TRUE(TotalsAsRecounted(t));
    EXPECT_EQ(t.Insert(Dumped({records[0], records[5], records[9]})), 0);  // delivered again
    EXPECT_TRUE(TotalsAsRecounted(t));
    EXPECT_TRUE(t.Script("DELETE FROM runs WHERE start_date = '2026-04-02'"));
    EXPECT_TRUE(TotalsAsRecounted(t));
    EXPECT_TRUE(
        t.Script("UPDATE runs SET station = 'moved', outcome = 'failed', failed_item = 2, "
                 "cause = 'XX Moved XX', started_at = started_at - interval '1 day' "
                 "WHERE unit = 'U3'"));
    EXPECT_TRUE(TotalsAsRecounted(t));
    // Inserted, changed and deleted within one transaction.
    std::string error;
    records::PgConnection& db = t.db();
    ASSERT_TRUE(db.Run("BEGIN", error));
    std::vector<std::string> lines;
    for (int i = 50; i < 53; ++i) {
        const std::string start = "2026-04-05T09:00:0" + std::to_string(i - 50) + ".000+09:00";
        lines.push_back(Record(i, start, "U9", 99).dump());
    }
    ASSERT_EQ(TestDatabase::Insert(db, lines, lines.size()), 3);
    ASSERT_TRUE(
        db.Run("UPDATE runs SET outcome = 'failed' WHERE run_id = "
               "'00000000-0000-4000-8000-000000000050'",
               error) &&
        db.Run("DELETE FROM runs WHERE run_id = '00000000-0000-4000-8000-000000000051'", error) &&
        db.Run("COMMIT", error))
        << error;
    EXPECT_EQ(t.Value("SELECT runs FROM zul10_units WHERE unit = 'U9'"), "2");
    EXPECT_TRUE(TotalsAsRecounted(t));
    EXPECT_TRUE(t.Script("TRUNCATE runs CASCADE"));
    EXPECT_EQ(t.Value("SELECT count(*) FROM zul10_run_counts"), "0");
    EXPECT_TRUE(TotalsAsRecounted(t));
}

TEST(DatabaseReport, StationsCommittingAtOnceNeitherDeadlockNorMiscount) {
    TestDatabase t;
    ASSERT_FALSE(HasFailure());
    // Four stations, each committing batches of runs that touch the same
    // totals (one day, the same readings) in its own order, and each
    // delivering the same ten runs too.
    std::vector<Json> shared;
    for (int i = 0; i < 10; ++i) {
        shared.push_back(
            Record(900 + i, "2026-05-01T08:00:00.000+09:00", "US" + std::to_string(i), 95 + i % 3));
    }
    std::vector<int64_t> inserted(4, 0);
    std::vector<std::thread> stations;
    for (int s = 0; s < 4; ++s) {
        stations.emplace_back([&, s] {
            std::vector<Json> runs = shared;
            for (int i = 0; i < 60; ++i) {
                runs.push_back(
                    Record(1000 * (s + 1) + i,
                           "2026-05-01T09:00:" + std::to_string(10 + i % 50) + ".000+09:00",
                           "U" + std::to_string(i % 20), 95 + i % 5,
                           i % 9 == 0 ? "failed" : "complete", "S" + std::to_string(s)));
            }
            if (s % 2 == 1) std::reverse(runs.begin(), runs.end());
            records::PgConnection db;
            std::string error;
            inserted[static_cast<size_t>(s)] =
                db.Connect(t.uri(), error) ? TestDatabase::Insert(db, Dumped(runs), 7) : -1;
        });
    }
    for (std::thread& station : stations) station.join();
    int64_t total = 0;
    for (int64_t n : inserted) {
        EXPECT_GE(n, 60);  // no batch failed
        total += n;
    }
    EXPECT_EQ(total, 4 * 60 + 10);
    EXPECT_EQ(t.Value("SELECT sum(runs) FROM zul10_run_counts"), "250");
    EXPECT_TRUE(TotalsAsRecounted(t));
}

TEST(DatabaseReport, DeliveriesCountingInCrossingOrdersWaitInsteadOfDeadlocking) {
    TestDatabase t;
    ASSERT_FALSE(HasFailure());
    // Delivers run n of a station of its own with speed, counted at once
    // (SET CONSTRAINTS ... IMMEDIATE), so that its transaction holds the
    // totals it counted: only the speed's are shared.
    const auto deliver = [&](records::PgConnection& db, int n, int speed) {
        std::string error;
        const Json run = Record(n, "2026-06-01T09:00:00.000+09:00", "", speed, "complete",
                                "S" + std::to_string(n));
        const bool ok = TestDatabase::Insert(db, {run.dump()}) == 1 &&
                        db.Run("SET CONSTRAINTS ALL IMMEDIATE", error);
        return ok ? std::string() : error;
    };
    records::PgConnection first, second;
    std::string error;
    for (records::PgConnection* db : {&first, &second}) {
        ASSERT_TRUE(db->Connect(t.uri(), error) && db->Run("BEGIN", error)) << error;
    }
    ASSERT_EQ(deliver(first, 1, 95), "");
    // The second counts speed 96, then 95; the first, meanwhile, 96.
    std::string secondError = "not run";
    std::thread other([&] {
        secondError = deliver(second, 2, 96);
        if (secondError.empty()) secondError = deliver(second, 3, 95);
        if (secondError.empty() && !second.Run("COMMIT", secondError)) secondError += " (commit)";
    });
    // Once the second waits for a lock (the first's count of 95, or its turn
    // at the totals), the first counts 96.
    for (int i = 0;
         i < 200 &&
         t.Value("SELECT count(*) FROM pg_stat_activity WHERE datname = "
                 "current_database() AND wait_event IN ('transactionid', 'advisory')") != "1";
         ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(deliver(first, 4, 96), "");
    EXPECT_TRUE(first.Run("COMMIT", error)) << error;
    other.join();
    EXPECT_EQ(secondError, "");
    EXPECT_EQ(t.Value("SELECT string_agg(value || ':' || readings, ' ' ORDER BY value) FROM "
                      "zul10_value_counts"),
              "95:2 96:2");
}

TEST(DatabaseReport, RefusesWhatItCannotReadInOneLine) {
    TemporaryDirectory dir;
    const auto refused = [&](const std::string& uri, const std::string& because) {
        const Ran ran = Records(dir, {"summary", uri});
        EXPECT_EQ(ran.code, 1);
        EXPECT_EQ(std::count(ran.err.begin(), ran.err.end(), '\n'), 1) << ran.err;
        EXPECT_NE(ran.err.find(because), std::string::npos) << ran.err;
        return ran.err;
    };
    {
        TestDatabase t;
        ASSERT_TRUE(t.Script("INSERT INTO zul10_schema VALUES (99, 'from a newer program')"));
        refused(t.uri(), "the database holds schema version 99, newer than this program's");
    }
    {
        TestDatabase t(1);
        refused(t.uri(), "older than the report reads");
    }
    const std::string withPassword =
        Replaced(TestDatabase::ServerUri(), "postgresql://zul10@", "postgresql://zul10:s3cret@");
    for (const std::string& uri :
         {withPassword,
          std::string("postgresql://zul10@127.0.0.1:1/x?sslmode=disable&pass%77ord=s3cret")}) {
        EXPECT_EQ(refused(uri, "a password in the URI is refused").find("s3cret"),
                  std::string::npos);
    }
    refused("postgresql://zul10@127.0.0.1:1/none", "127.0.0.1");
}

TEST(DatabaseReport, ImpossibleDaysBoundTheDaysAFolderWouldMatch) {
    EXPECT_EQ(records::FirstDayFrom("2026-02-30"), "2026-03-01");
    EXPECT_EQ(records::LastDayTo("2026-02-30"), "2026-02-28");
    EXPECT_EQ(records::LastDayTo("2024-02-31"), "2024-02-29");
    EXPECT_EQ(records::FirstDayFrom("2026-13-01"), "2027-01-01");
    EXPECT_EQ(records::LastDayTo("2026-00-10"), "2025-12-31");
    EXPECT_EQ(records::LastDayTo("2026-03-00"), "2026-02-28");
    EXPECT_EQ(records::FirstDayFrom("2026-12-32"), "2027-01-01");
    EXPECT_EQ(records::FirstDayFrom(""), "-infinity");
    EXPECT_EQ(records::LastDayTo(""), "infinity");
}

}  // namespace
}  // namespace zul
