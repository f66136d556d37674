// Faulty units over a real serial line: the simulator tool's fault presets
// against the main window, with the real read time-outs of the termios port.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAction>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/E2eBench.h"
#include "mock/Environment.h"
#include "mock/GoodRunScreens.h"
#include "mock/ReadRecords.h"
#include "mock/TemporaryDirectory.h"
#include "records/SummaryText.h"

namespace zul {
namespace {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::Ge;
using ::testing::Lt;

// One-byte answer: 10 ms for the byte plus the 2000 ms constant, four attempts.
constexpr int64_t kSilentAnswerMs = 4 * (2000 + 10);

// A failed run: the report under the title line, "Click Cancel", only Cancel
// left; Cancel goes back to idle.
void ExpectFailedThenCancel(const test::E2eBench& b) {
    EXPECT_EQ(b.form->AdjStep(), -1);
    EXPECT_FALSE(b.Start()->isEnabled());
    EXPECT_TRUE(b.Exit()->isEnabled());
    EXPECT_EQ(b.Exit()->text(), "Cancel");
    b.ClickExit();
    b.ExpectIdleButtons();
    EXPECT_THAT(b.Shown(), ElementsAreArray(test::kIdleScreen));
}

std::vector<std::string> FileLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(E2eFaults, SilentUnitAtTheEraseIsACommunicationError) {
    test::TemporaryDirectory out;
    const test::ScopedVariable monitor(kTraceVariable, out.File("line.trace"));
    test::E2eBench b("silent");
    const int64_t ms = b.TimedClickStart();
    EXPECT_THAT(b.Shown(), ElementsAre("*** 1.Eeprom Erasing ***", "", "Communication error", "",
                                       "Click Cancel"));
    EXPECT_THAT(ms, AllOf(Ge(kSilentAnswerMs), Lt(kSilentAnswerMs + 1500)));
    // Four transmissions of the erase command, and nothing after them.
    EXPECT_THAT(b.sim.Received(4), ElementsAre(0xB6, 0xB6, 0xB6, 0xB6));
    ExpectFailedThenCancel(b);
    EXPECT_THAT(b.sim.Received(), ElementsAre(0xB6, 0xB6, 0xB6, 0xB6));  // Cancel sends nothing

    // The line monitor: each attempt out and timed out, the retries between.
    std::vector<std::string> events;
    for (const std::string& line : FileLines(out.File("line.trace"))) {
        if (line[0] == '#') continue;
        const std::string event = line.substr(14);
        if (event.rfind("TX", 0) == 0 || event.rfind("TIMEOUT", 0) == 0 ||
            event.rfind("RETRY", 0) == 0) {
            events.push_back(event.substr(0, event.find("  (")));
        }
    }
    const std::string out1 = "TX       B6", silence = "TIMEOUT  nothing";
    EXPECT_THAT(events, ElementsAre(out1, silence, "RETRY    B6, attempt 2 of 4", out1, silence,
                                    "RETRY    B6, attempt 3 of 4", out1, silence,
                                    "RETRY    B6, attempt 4 of 4", out1, silence));
}

TEST(E2eFaults, RefusedEraseShowsTheEraseBanner) {
    test::E2eBench b("refused-erase");
    const int64_t ms = b.TimedClickStart();
    EXPECT_THAT(b.Shown(),
                ElementsAre("*** 1.Eeprom Erasing ***", "XXXXXX    Cannot erase EEPROM !    XXXXXX",
                            "", "Click Cancel"));
    EXPECT_THAT(ms, Lt(1000));  // a refusal is final: no retry, no wait
    EXPECT_THAT(b.sim.Received(1), ElementsAre(0xB6));
    EXPECT_FALSE(b.Find<QAction>("Start1")->isEnabled());
    ExpectFailedThenCancel(b);
}

TEST(E2eFaults, FailingWhiteSlotsShowTheirTable) {
    test::TemporaryDirectory out;
    const test::ScopedVariable records(kRecordsVariable, out.path().string());
    test::E2eBench b("white-fail");
    for (int16_t step = 0; step < 4; ++step) b.ClickStart();
    ASSERT_EQ(b.form->AdjStep(), 4);
    b.ClickStart();
    EXPECT_THAT(b.Shown(),
                ElementsAre("*** 3.White level adjustment ***",
                            "XXXXXX  Adjustment error of white reference paper !  XXXXXX", "",
                            "****** Descriptions *******************************",
                            "No.  Name        D/A    A/D    Reg",
                            " 1. Front Red   (128p) ( 61p) ( 5) ",  // A/D under 62
                            " 2. Up Ir       ( 29p) ( 77p) ( 1) ",  // D/A under its limit
                            "", "Click Cancel"));
    // No EEPROM write after a failed judgement.
    EXPECT_THAT(b.sim.Received(15), ElementsAre(0xB6, 0xB4, 0xA7, 0x05, 0x05, 0x05, 0xA7, 0x05,
                                                0x05, 0x05, 0xA1, 0xC0, 0x05, 0xEE, 0xE0));
    ExpectFailedThenCancel(b);

    // One record of the failed run, delivered to the folder by the forward
    // the program started: its item, its banner, its readings.
    ASSERT_TRUE(b.AwaitDelivery(out.path().string()));
    const test::ReadBack all = test::ReadRecords(out.path().string());
    ASSERT_EQ(all.runs.size(), 1u) << all.errors;
    EXPECT_EQ(all.runs[0].outcome, records::Outcome::Failed);
    EXPECT_EQ(all.runs[0].failedItem, 3);
    EXPECT_EQ(records::CauseText(all.runs[0].cause), "Adjustment error of white reference paper !");
    EXPECT_EQ(test::Reading(all.runs[0], "3.ad.3"), 61);
    EXPECT_EQ(all.runs[0].eepromWritten[2], 0);
    EXPECT_THAT(records::SummaryText(all.figures, all.tally, "f"),
                testing::HasSubstr("3.White level adjustment"));
}

TEST(E2eFaults, UnitDroppingOffMidRunEndsTheItemInACommunicationError) {
    // The unit answers the erase and the opening of the lever check, then
    // falls silent: the first lever block (12 bytes) never comes.
    test::E2eBench b("drop-off");
    b.ClickStart();
    ASSERT_EQ(b.form->AdjStep(), 1);
    b.ClickStart();  // "Insert the paper."
    const int64_t ms = b.TimedClickStart();
    EXPECT_THAT(b.Shown(), ElementsAre("*** 2.Lever sensor check ***", "", "Communication error",
                                       "", "Click Cancel"));
    const int64_t blockMs = 1000 + 4 * (2000 + 10 * 12);
    EXPECT_THAT(ms, AllOf(Ge(blockMs), Lt(blockMs + 1500)));
    EXPECT_THAT(b.sim.Received(7), ElementsAre(0xB6, 0xB4, 0xA7, 0x05, 0x05, 0x05, 0x05));
    ExpectFailedThenCancel(b);
}

// A healthy unit whose white register block straddles its 2080 ms deadline:
// the retry waits until the line is quiet, and the item passes on the
// second block instead of taking the first one's tail for its head.
TEST(E2eFaults, ABlockAcrossItsDeadlinePassesOnTheRetry) {
    test::E2eBench b("straddle");
    for (int16_t step = 0; step < 4; ++step) b.ClickStart();
    ASSERT_EQ(b.form->AdjStep(), 4);
    b.ClickStart();
    EXPECT_EQ(b.form->AdjStep(), 5);
    EXPECT_THAT(b.Shown(), ElementsAreArray(test::kGoodRunScreens[4].lines));
    EXPECT_THAT(b.sim.Received(18),
                ElementsAre(0xB6, 0xB4, 0xA7, 0x05, 0x05, 0x05, 0xA7, 0x05, 0x05, 0x05, 0xA1, 0xC0,
                            0x05, 0x05, 0xEE, 0xE0, 0xB0, 0xB4));
}

// A healthy unit that sends two bytes behind every answer, paced at the
// line's speed: the tail of one answer is never read as the next one's, and
// the whole run passes as with a plain unit.
TEST(E2eFaults, PaddedAnswersStillPassEveryItem) {
    test::E2eBench b("padded");
    for (const test::ScreenAfter& s : test::kGoodRunScreens) {
        ASSERT_EQ(b.form->AdjStep(), s.step);
        b.ClickStart();
        ASSERT_THAT(b.Shown(), ElementsAreArray(s.lines)) << "click at " << s.step;
    }
    b.ExpectIdleButtons();
}

}  // namespace
}  // namespace zul
