// Deliveries into the database cut off: the server stopped under a forward
// and started again, forwards killed at random moments, and twenty stations
// forwarding at once. Each run is there once in the end, with all its items
// and values.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <thread>

#include "mock/DatabaseRecords.h"
#include "mock/TestDatabase.h"
#include "records/DatabaseUri.h"

#ifndef ZUL_SOURCE_DIR
#error "ZUL_SOURCE_DIR must name the source tree (scripts/pg-server.sh)"
#endif

namespace zul {
namespace {

using test::RecordsProcess;
using test::TemporaryDirectory;
using test::TestDatabase;

// scripts/pg-server.sh COMMAND DIR [MODE]; its exit code.
int PgServer(const std::string& command, const std::string& dir, const std::string& mode = "") {
    return std::system(("bash " ZUL_SOURCE_DIR "/scripts/pg-server.sh " + command + " " + dir +
                        " " + mode + " >/dev/null")
                           .c_str());
}

TEST(DatabaseStress, AServerStoppedInTheMiddleOfADeliveryThenStartedHasEveryRunOnce) {
    // A server of the test's own, beside the suites' one.
    const std::string server = test::ServerFolder() + "-own";
    ASSERT_EQ(PgServer("start", server), 0);
    {
        TestDatabase db(TestDatabase::kAll, server);
        TemporaryDirectory dir;
        const records::Spool spool(dir.File("spool"));
        constexpr int kRuns = 4000;
        test::SpoolRealRuns(spool, 0, kRuns, 0, "BENCH-1", 8);
        const std::vector<std::string> forward{"forward", "--spool", spool.folder(), "--database",
                                               db.uri()};
        const std::string output = dir.File("forward.out");
        RecordsProcess first(forward, output);
        // Once the first batches are in, the server goes down as in a crash.
        for (int tries = 0; tries < 2000 && db.Number("SELECT count(*) FROM runs") == 0; ++tries) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ASSERT_EQ(PgServer("stop", server, "immediate"), 0);
        EXPECT_EQ(first.Wait(), 1);
        const std::string told = test::ReadFile(output);
        EXPECT_EQ(std::count(told.begin(), told.end(), '\n'), 1) << told;
        EXPECT_NE(told.find("they wait in the spool"), std::string::npos) << told;
        EXPECT_GT(spool.CountWaiting(records::DatabaseKey(db.uri()), {}).records, 0);

        ASSERT_EQ(PgServer("resume", server), 0);
        db.Reconnect();
        EXPECT_LT(db.Number("SELECT count(*) FROM runs"), kRuns);  // it was cut off
        EXPECT_EQ(RecordsProcess(forward, output).Wait(), 0) << test::ReadFile(output);
        db.ExpectRunsWhole(kRuns);
    }
    PgServer("stop", server);
    std::filesystem::remove_all(server);
}

TEST(DatabaseStress, AForwardKilledAtRandomMomentsNeitherLosesNorDoublesARun) {
    TestDatabase db;
    TemporaryDirectory dir;
    const std::string output = dir.File("forward.out");
    // How long a forward of ten records takes here, start to end: the kills
    // fall anywhere in that, so each forward delivers a few records at most
    // and the thousand last for all the kills.
    const records::Spool probe(dir.File("probe"));
    test::SpoolRealRuns(probe, 0, 10, 1);
    TestDatabase probeDb;
    const auto begin = std::chrono::steady_clock::now();
    ASSERT_EQ(
        RecordsProcess({"forward", "--spool", probe.folder(), "--database", probeDb.uri()}, output)
            .Wait(),
        0);
    const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - begin);

    // Twenty records a day file: a commit and the bookkeeping after it every
    // few milliseconds, so that kills fall between the two as well.
    constexpr int kRuns = 1000, kKills = 100;
    const records::Spool spool(dir.File("spool"));
    test::SpoolRealRuns(spool, 0, kRuns, 0, "BENCH-1", kRuns / 20);
    const std::vector<std::string> forward{"forward", "--spool", spool.folder(), "--database",
                                           db.uri()};
    std::mt19937 random(20260301u);
    std::uniform_int_distribution<int64_t> delay(0, whole.count());
    int killed = 0, forwards = 0;
    for (; killed < kKills && forwards < 10 * kKills; ++forwards) {
        RecordsProcess process(forward, output);
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        killed += process.Kill();
    }
    EXPECT_EQ(killed, kKills);
    RecordProperty("forwards_started", forwards);
    RecordProperty("runs_before_the_last",
                   static_cast<int>(db.Number("SELECT count(*) FROM runs")));
    EXPECT_EQ(RecordsProcess(forward, output).Wait(), 0) << test::ReadFile(output);
    db.ExpectRunsWhole(kRuns);
}

TEST(DatabaseStress, TwentyStationsForwardingAtOnceStoreEachOfTheirRunsOnce) {
    TestDatabase db;
    TemporaryDirectory dir;
    constexpr int kStations = 20, kRuns = 500;
    std::vector<std::unique_ptr<RecordsProcess>> forwards;
    for (int station = 0; station < kStations; ++station) {
        const records::Spool spool(dir.File("spool-" + std::to_string(station)));
        test::SpoolRealRuns(spool, 0, kRuns, station + 1, "BENCH-" + std::to_string(station), 5);
    }
    for (int station = 0; station < kStations; ++station) {
        const std::string name = std::to_string(station);
        forwards.push_back(std::make_unique<RecordsProcess>(
            std::vector<std::string>{"forward", "--spool", dir.File("spool-" + name), "--database",
                                     db.uri()},
            dir.File("forward-" + name + ".out")));
    }
    for (int station = 0; station < kStations; ++station) {
        EXPECT_EQ(forwards[station]->Wait(), 0)
            << test::ReadFile(dir.File("forward-" + std::to_string(station) + ".out"));
        EXPECT_EQ(test::ReadFile(dir.File("forward-" + std::to_string(station) + ".out")), "");
    }
    db.ExpectRunsWhole(kStations * kRuns);
    EXPECT_EQ(db.Number("SELECT count(DISTINCT station) FROM runs"), kStations);
}

}  // namespace
}  // namespace zul
