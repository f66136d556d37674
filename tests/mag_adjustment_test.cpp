#include <gtest/gtest.h>

#include "adjust/MagAdjustment.h"
#include "mock/CaseNames.h"
#include "mock/ItemBench.h"
#include "serial/Commands.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;
using zul::test::ItemBench;

constexpr const char* kTitle = "*** 6.Mag adjustment ***";
constexpr const char* kBanner = "XXXXXX    MAG A/D adjustment error !    XXXXXX";

// The mag group as the tests see it.
struct FakeMagView final : zul::MagView {
    void SetPeakText(std::string_view text) override { peakText = text; }
    void SetAdText(std::string_view text) override { adText = text; }
    void SetPeakBar(int position) override { peakBar = position; }
    void SetAdBar(int position) override { adBar = position; }
    std::string peakText = "-";
    std::string adText = "-";
    int peakBar = -1;
    int adBar = -1;
};

ItemBench BenchWithSamples(std::vector<zul::sim::MagSample> samples) {
    zul::sim::Profile p;
    p.magSamples = std::move(samples);
    return ItemBench(p, kTitle);
}

TEST(Mag, StartShowsTheFirstSampleAndHoldsItsPeak) {
    auto bench = BenchWithSamples({{58, 7}});
    bench.data.adValue[3] = 9;
    FakeMagView view;
    EXPECT_TRUE(zul::StartMag(bench.ctx, view));
    EXPECT_EQ(bench.Sent(), (Bytes{0xA4, 0x05}));
    EXPECT_EQ(bench.clock.SleptMs(), 1000u);
    EXPECT_EQ(bench.data.adValue[3], 0);
    EXPECT_EQ(bench.data.magPeakHeld, 58);
    EXPECT_EQ(view.peakText, " 58");
    EXPECT_EQ(view.adText, "  7");
    EXPECT_EQ(view.peakBar, 58);
    EXPECT_EQ(view.adBar, 7);
}

TEST(Mag, HeldPeakIsARunningMaximum) {
    auto bench = BenchWithSamples({{50, 50}, {80, 40}, {60, 65}});
    FakeMagView view;
    ASSERT_TRUE(zul::StartMag(bench.ctx, view));
    ASSERT_TRUE(zul::UpdateMag(bench.ctx, view));
    EXPECT_EQ(view.peakText, " 80");
    EXPECT_EQ(view.peakBar, 80);
    ASSERT_TRUE(zul::UpdateMag(bench.ctx, view));  // a lower sample leaves the held peak
    EXPECT_EQ(bench.data.magPeakHeld, 80);
    EXPECT_EQ(view.peakText, " 80");
    EXPECT_EQ(view.peakBar, 80);
    EXPECT_EQ(view.adText, " 65");
    EXPECT_EQ(bench.data.adValue[28], 60);
    EXPECT_EQ(bench.Sent(), (Bytes{0xA4, 0x05, 0x05, 0x05}));
}

TEST(Mag, BarsAreHeldWithinTheirRangeWhileTheLabelsShowTheNumber) {
    auto bench = BenchWithSamples({{150, 255}});
    FakeMagView view;
    ASSERT_TRUE(zul::StartMag(bench.ctx, view));
    EXPECT_EQ(view.peakText, "150");
    EXPECT_EQ(view.adText, "255");
    EXPECT_EQ(view.peakBar, 100);
    EXPECT_EQ(view.adBar, 100);
}

TEST(Mag, ClearEmptiesThePeakUntilTheNextStart) {
    auto bench = BenchWithSamples({{90, 60}});
    FakeMagView view;
    ASSERT_TRUE(zul::StartMag(bench.ctx, view));
    zul::ClearMagPeak(bench.ctx, view);
    EXPECT_EQ(bench.data.magPeakHeld, 0);
    EXPECT_EQ(view.peakText, "  0");
    EXPECT_EQ(view.peakBar, 0);
    EXPECT_EQ(view.adText, " 60");  // the A/D row is left as it was
}

TEST(Mag, FailedPollReportsAndLeavesTheDisplay) {
    auto bench = BenchWithSamples({{55, 55}});
    FakeMagView view;
    ASSERT_TRUE(zul::StartMag(bench.ctx, view));
    zul::test::FaultOn(bench.unit.profile(), zul::cmd::kEnq, zul::test::Silent());
    view.peakText = "unchanged";
    EXPECT_FALSE(zul::UpdateMag(bench.ctx, view));
    EXPECT_EQ(view.peakText, "unchanged");
    EXPECT_EQ(bench.Lines(), (Lines{kTitle, "", "Communication error"}));
}

TEST(Mag, UnacknowledgedStartIsACommunicationError) {
    ItemBench bench(zul::test::WithFault(zul::cmd::kOpenMag, zul::test::Refuse()), kTitle);
    FakeMagView view;
    EXPECT_FALSE(zul::StartMag(bench.ctx, view));
    EXPECT_EQ(bench.Lines(), (Lines{kTitle, "", "Communication error"}));
    EXPECT_EQ(bench.CountSent(zul::cmd::kEnq), 0u);
    EXPECT_EQ(view.peakBar, -1);
}

// Peak sample, A/D sample, verdict.
struct Verdict {
    uint8_t peak;
    uint8_t ad;
    bool passes;
};

void PrintTo(const Verdict& v, std::ostream* os) {
    *os << "peak " << int(v.peak) << " ad " << int(v.ad);
}

class MagVerdict : public testing::TestWithParam<Verdict> {};

TEST_P(MagVerdict, OnlyThePeakSampleIsJudged) {
    const Verdict& v = GetParam();
    auto bench = BenchWithSamples({{v.peak, v.ad}});
    FakeMagView view;
    ASSERT_TRUE(zul::StartMag(bench.ctx, view));
    EXPECT_EQ(zul::AdjustMag(bench.ctx), v.passes);
    if (v.passes) {
        EXPECT_EQ(bench.Lines(), Lines{kTitle});
        EXPECT_EQ(bench.CountSent(zul::cmd::kEepromWrite), 1u);
    } else {
        char line[32];
        std::snprintf(line, sizeof line, " A/D   %3dp ", v.peak);
        EXPECT_EQ(bench.Lines(),
                  (Lines{kTitle, kBanner, "", "****** Descriptions *******************************",
                         line}));
        EXPECT_EQ(bench.CountSent(zul::cmd::kEepromWrite), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(AtAndBeyondTheBounds, MagVerdict,
                         testing::Values(Verdict{46, 58, true}, Verdict{70, 58, true},
                                         Verdict{45, 58, false}, Verdict{71, 58, false},
                                         Verdict{5, 58, false}, Verdict{58, 0, true},
                                         Verdict{58, 200, true}),
                         zul::test::PrintedName());

TEST(Mag, TheLastPeakSampleIsJudgedNeverTheHeldPeak) {
    auto bench = BenchWithSamples({{90, 60}, {60, 60}});
    FakeMagView view;
    ASSERT_TRUE(zul::StartMag(bench.ctx, view));
    ASSERT_TRUE(zul::UpdateMag(bench.ctx, view));
    EXPECT_EQ(bench.data.magPeakHeld, 90);
    EXPECT_TRUE(zul::AdjustMag(bench.ctx));
}

TEST(Mag, ReportShowsTheLastPeakSample) {
    auto bench = BenchWithSamples({{60, 60}, {45, 60}});
    FakeMagView view;
    ASSERT_TRUE(zul::StartMag(bench.ctx, view));
    ASSERT_TRUE(zul::UpdateMag(bench.ctx, view));
    EXPECT_FALSE(zul::AdjustMag(bench.ctx));
    EXPECT_EQ(bench.Lines().back(), " A/D    45p ");
}

}  // namespace
