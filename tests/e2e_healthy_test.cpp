// A whole run over a real serial line: the main window clicked through every
// item against the simulator tool's healthy unit, with the real waits.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QTest>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/E2eBench.h"
#include "mock/Environment.h"
#include "mock/GoodRunScreens.h"
#include "mock/ReadRecords.h"
#include "mock/TemporaryDirectory.h"
#include "records/HtmlReport.h"
#include "records/SummaryText.h"

namespace zul {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::Ge;
using ::testing::Lt;

// The fixed waits inside the click at each step, in ms.
constexpr int kMinMs[] = {1000, 0, 1000, 1000, 2000, 0, 2000, 2000, 1000, 1000, 1000, 0};

std::vector<std::string> FileLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Start and Next through every step of a healthy run to "**** COMPLETE ****".
void WalkCompleteRun(const test::E2eBench& b) {
    for (const test::ScreenAfter& s : test::kGoodRunScreens) {
        ASSERT_EQ(b.form->AdjStep(), s.step);
        b.ClickStart();
        ASSERT_THAT(b.Shown(), ElementsAreArray(s.lines)) << "click at " << s.step;
        if (s.step == 8) QTest::qWait(600);  // a poll of the live display
    }
}

TEST(E2eHealthy, CompleteRunToCompleteAndBackToIdle) {
    // Neither records nor the monitor: the program stores nothing new.
    test::UnsetEnvironment(kRecordsVariable);
    test::UnsetEnvironment(kTraceVariable);
    test::E2eBench b("healthy");
    EXPECT_THAT(b.Shown(), ElementsAreArray(test::kIdleScreen));
    EXPECT_TRUE(b.sim.Received().empty());  // nothing is sent before Start

    for (const test::ScreenAfter& s : test::kGoodRunScreens) {
        ASSERT_EQ(b.form->AdjStep(), s.step);
        const int64_t ms = b.TimedClickStart();
        const int minMs = kMinMs[s.step];
        EXPECT_THAT(b.Shown(), ElementsAreArray(s.lines)) << "click at " << s.step;
        EXPECT_THAT(ms, Ge(minMs)) << "click at " << s.step;
        EXPECT_THAT(ms, Lt(minMs + 1900)) << "click at " << s.step;
        if (s.step == 8) {
            ASSERT_TRUE(b.form->timer().isActive());
            EXPECT_EQ(b.Text("lblMagPeak"), " 58");
            // Two polls of the live display (500 ms apart; slower under a
            // memory checker, so wait for the bytes rather than the time).
            EXPECT_TRUE(QTest::qWaitFor([&] { return b.sim.Received(0, 0).size() >= 32; }, 10000));
            EXPECT_EQ(b.Text("lblMagAD"), " 58");
            EXPECT_EQ(b.Bar("prbMagAD"), 58);
        }
        if (s.step == 10) {
            EXPECT_EQ(b.Exit()->text(), "Exit");
            EXPECT_EQ(b.Start()->text(), "Next");
        }
    }
    b.ExpectIdleButtons();

    // What went over the line, as the unit saw it. The live display polled
    // with ENQ between the start of the mag adjustment and its verdict.
    const std::vector<uint8_t> before = {0xB6, 0xB4,                                // erase
                                         0xA7, 0x05, 0x05, 0x05,                    // lever up
                                         0xA7, 0x05, 0x05, 0x05,                    // lever down
                                         0xA1, 0xC0, 0x05, 0xEE, 0xE0, 0xB0, 0xB4,  // white
                                         0xA2, 0x05, 0xB0, 0xB4,                    // black
                                         0xA3, 0xC1, 0x05, 0xEE, 0x05, 0xB0, 0xB4,  // non-paper
                                         0xA4, 0x05};                               // mag start
    const std::vector<uint8_t> after = {0xB0, 0xB4, 0xA6, 0xB0, 0xB4};  // mag write, motor
    const std::vector<uint8_t> sent = b.sim.Received(before.size() + 2 + after.size());
    ASSERT_GE(sent.size(), before.size() + 2 + after.size());
    EXPECT_THAT(std::vector<uint8_t>(sent.begin(), sent.begin() + before.size()),
                ElementsAreArray(before));
    EXPECT_THAT(std::vector<uint8_t>(sent.end() - after.size(), sent.end()),
                ElementsAreArray(after));
    const std::vector<uint8_t> polls(sent.begin() + before.size(), sent.end() - after.size());
    EXPECT_THAT(polls.size(), ::testing::AllOf(Ge(2u), Lt(5u)));
    for (uint8_t poll : polls) EXPECT_EQ(poll, 0x05);

    // The settings file was written where the program runs.
    EXPECT_TRUE(b.dir.Read("ZUL1x_comm.ini").has_value());

    // The next unit starts with the erase again.
    b.ClickStart();
    EXPECT_EQ(b.form->AdjStep(), 1);
    EXPECT_THAT(b.sim.Received(sent.size() + 2), ::testing::ElementsAreArray([&] {
                    std::vector<uint8_t> all = sent;
                    all.push_back(0xB6);
                    all.push_back(0xB4);
                    return all;
                }()));
    b.ClickExit();  // Cancel
    b.ExpectIdleButtons();
    EXPECT_THAT(b.Shown(), ElementsAreArray(test::kIdleScreen));

    // Beside the simulator's own files, the working folder holds the
    // settings file and nothing else.
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(b.dir.path())) {
        names.insert(entry.path().filename().string());
    }
    EXPECT_THAT(names, ElementsAre("ZUL1x_comm.ini", "ttyZUL", "zul1x-sim.err", "zul1x-sim.log"));
}

TEST(E2eHealthy, RecordAndLineMonitorOfACompleteRun) {
    test::TemporaryDirectory out;
    const std::string folder = out.File("records");
    std::filesystem::create_directory(folder);  // a share is there before it takes records
    const std::string trace = out.File("line.trace");
    const test::ScopedVariable records(kRecordsVariable, folder);
    const test::ScopedVariable monitor(kTraceVariable, trace);
    {
        test::E2eBench b("healthy");
        EXPECT_TRUE(b.extras->recording() && b.extras->monitoring());
        ASSERT_NO_FATAL_FAILURE(WalkCompleteRun(b));
        b.ClickStart();   // the next unit: its erase
        b.form->close();  // and the window closed before its lever check

        // The complete run, and the next one ended by the closing window,
        // delivered to the folder by the forwards the program started.
        ASSERT_TRUE(b.AwaitDelivery(folder));
        const test::ReadBack all = test::ReadRecords(folder);
        ASSERT_TRUE(all.ok);
        ASSERT_EQ(all.runs.size(), 2u) << all.errors;
        EXPECT_EQ(all.runs[1].outcome, records::Outcome::Closed);
        EXPECT_EQ(all.runs[1].items[0], records::Verdict::Pass);
        const records::RunRecord& run = all.runs[0];
        EXPECT_EQ(run.outcome, records::Outcome::Complete);
        EXPECT_EQ(run.device, b.sim.link());
        EXPECT_EQ(run.line, "9600 8E1");
        EXPECT_GE(run.seconds, 12.0);
        EXPECT_EQ(run.retries, 0);
        EXPECT_EQ(test::Reading(run, "2.paper_in.left"), 192);
        EXPECT_EQ(test::Reading(run, "3.ad.6"), 180);
        EXPECT_EQ(test::Reading(run, "6.peak.28"), 58);
        EXPECT_EQ(test::Reading(run, "7.speed"), 105);
        EXPECT_EQ(run.eepromWritten[6], 1);
        EXPECT_THAT(records::SummaryText(all.figures, all.tally, folder),
                    testing::HasSubstr("All              2         1       0         0        1"
                                       "   100.0 %"));
        EXPECT_THAT(records::HtmlPage(all.figures, all.tally, folder),
                    testing::HasSubstr("1 complete, 0 failed"));

        // The monitor shows every command the unit received, in its order,
        // each answered.
        std::vector<uint8_t> sent;
        int answers = 0;
        for (const std::string& line : FileLines(trace)) {
            if (line.compare(14, 3, "TX ") == 0)
                sent.push_back(std::stoi(line.substr(23, 2), nullptr, 16));
            answers += line.compare(14, 3, "RX ") == 0;
        }
        EXPECT_EQ(sent, b.sim.Received());
        EXPECT_EQ(answers, static_cast<int>(sent.size()));
        EXPECT_THAT(FileLines(trace).front(), testing::HasSubstr("line monitor, started"));
    }
}

}  // namespace
}  // namespace zul
