// The live mag display over a real serial line: Timer1 runs for real and
// polls the simulator tool's board as it sweeps into the window.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QString>
#include <QTest>
#include <chrono>
#include <string>
#include <vector>

#include "e2e/E2eBench.h"

namespace zul {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// Appends value to seen unless it repeats the last entry.
void Note(std::vector<std::string>& seen, const QString& value) {
    if (seen.empty() || seen.back() != value.toStdString()) seen.push_back(value.toStdString());
}

TEST(E2eMag, LiveDisplayFollowsTheSweptBoard) {
    // The board's samples (peak/A-D): 20/20 35/35 48/48 58/58 58/52 58/56,
    // the last one repeating.
    test::E2eBench b("mag-sweep");
    for (int16_t step = 0; step < 8; ++step) b.ClickStart();
    ASSERT_EQ(b.form->AdjStep(), 8);
    b.ClickStart();  // the start of the mag adjustment reads the first sample
    ASSERT_EQ(b.form->AdjStep(), 9);
    ASSERT_TRUE(b.form->timer().isActive());

    std::vector<std::string> peaks, ads;
    std::vector<int> adBars;
    Note(peaks, b.Text("lblMagPeak"));
    Note(ads, b.Text("lblMagAD"));
    adBars.push_back(b.Bar("prbMagAD"));
    // One poll every 500 ms: six samples take about 2.5 s.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(6);
    while (b.Text("lblMagAD") != " 56" && std::chrono::steady_clock::now() < deadline) {
        QTest::qWait(50);
        Note(peaks, b.Text("lblMagPeak"));
        Note(ads, b.Text("lblMagAD"));
        if (adBars.back() != b.Bar("prbMagAD")) adBars.push_back(b.Bar("prbMagAD"));
    }
    EXPECT_THAT(peaks, ElementsAre(" 20", " 35", " 48", " 58"));  // the peak is held
    EXPECT_THAT(ads, ElementsAre(" 20", " 35", " 48", " 58", " 52", " 56"));
    EXPECT_THAT(adBars, ElementsAre(20, 35, 48, 58, 52, 56));
    EXPECT_EQ(b.Bar("prbMagPeak"), 58);

    // The held peak 58 lies in the window: Next stores it.
    b.ClickStart();
    EXPECT_EQ(b.form->AdjStep(), 10);
    EXPECT_THAT(b.Shown(),
                ElementsAre("*** 6.Mag adjustment ***", "Remove the mag board.", "", "Click Next"));
    EXPECT_FALSE(b.form->timer().isActive());
    EXPECT_EQ(b.Text("lblMagPeak"), "");
    const std::vector<uint8_t> sent = b.sim.Received();
    ASSERT_GE(sent.size(), 4u);
    EXPECT_THAT(std::vector<uint8_t>(sent.end() - 2, sent.end()), ElementsAre(0xB0, 0xB4));

    // No poll after the verdict.
    QTest::qWait(700);
    EXPECT_EQ(b.sim.Received().size(), sent.size());
    b.ClickExit();
    b.ExpectIdleButtons();
}

}  // namespace
}  // namespace zul
