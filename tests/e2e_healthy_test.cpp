// A whole run over a real serial line: the main window clicked through every
// item against the simulator tool's healthy unit, with the real waits.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QTest>
#include <string>
#include <vector>

#include "e2e/E2eBench.h"
#include "mock/GoodRunScreens.h"

namespace zul {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::Ge;
using ::testing::Lt;

// The fixed waits inside the click at each step, in ms.
constexpr int kMinMs[] = {1000, 0, 1000, 1000, 2000, 0, 2000, 2000, 1000, 1000, 1000, 0};

TEST(E2eHealthy, CompleteRunToCompleteAndBackToIdle) {
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
            QTest::qWait(1100);  // two polls of the live display
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
}

}  // namespace
}  // namespace zul
