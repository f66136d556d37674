#include <gtest/gtest.h>

#include "adjust/LeverCheck.h"
#include "mock/CaseNames.h"
#include "mock/ItemBench.h"
#include "serial/Commands.h"

namespace {

using Lines = std::vector<std::string>;
using zul::test::ItemBench;

constexpr const char* kTitle = "*** 2.Lever sensor check ***";
constexpr const char* kBanner = "XXXXXX    Accepter lever error !    XXXXXX";
constexpr const char* kDescriptions = "****** Descriptions *******************************";

// lever, reading, passes with paper in, passes without paper.
struct LeverProbe {
    std::size_t lever;
    uint8_t reading;
    bool activated;
    bool deactivated;
};

void PrintTo(const LeverProbe& p, std::ostream* os) {
    *os << "lever " << p.lever << " reading " << int(p.reading);
}

class LeverLimits : public testing::TestWithParam<LeverProbe> {};

TEST_P(LeverLimits, JudgedByLeverKind) {
    const LeverProbe& p = GetParam();
    EXPECT_EQ(zul::LeverActivated(p.lever, p.reading), p.activated);
    EXPECT_EQ(zul::LeverDeactivated(p.lever, p.reading), p.deactivated);
}

INSTANTIATE_TEST_SUITE_P(
    BackByValueSidesByThreshold, LeverLimits,
    testing::Values(LeverProbe{0, 1, true, false}, LeverProbe{0, 0, false, true},
                    LeverProbe{0, 2, false, false}, LeverProbe{0, 0x81, false, false},
                    LeverProbe{1, 127, false, true}, LeverProbe{1, 128, true, false},
                    LeverProbe{1, 0, false, true}, LeverProbe{1, 255, true, false},
                    LeverProbe{2, 127, false, true}, LeverProbe{2, 128, true, false},
                    LeverProbe{3, 1, false, false}),
    zul::test::PrintedName());

// Runs both steps with the given readings (back, left, right).
struct LeverRun {
    explicit LeverRun(std::array<uint8_t, 3> paperIn, std::array<uint8_t, 3> paperOut)
        : bench(Profile(paperIn, paperOut), kTitle) {}
    static zul::sim::Profile Profile(std::array<uint8_t, 3> in, std::array<uint8_t, 3> out) {
        zul::sim::Profile p;
        p.leverPaperIn = in;
        p.leverPaperOut = out;
        return p;
    }
    ItemBench bench;
};

TEST(LeverCheck, CleanUnitPassesAndWritesNothing) {
    LeverRun run({1, 0xC0, 0x80}, {0, 0x7F, 0x00});
    EXPECT_TRUE(zul::CheckLeverUp(run.bench.ctx));
    EXPECT_TRUE(zul::CheckLeverDown(run.bench.ctx));
    EXPECT_EQ(run.bench.Lines(), Lines{kTitle});
    EXPECT_EQ(run.bench.Sent(),
              (std::vector<uint8_t>{0xA7, 0x05, 0x05, 0x05, 0xA7, 0x05, 0x05, 0x05}));
    EXPECT_EQ(run.bench.clock.SleptMs(), 2000u);
}

TEST(LeverCheck, FaultsOnlyInTheUpStep) {
    LeverRun run({1, 127, 0x40}, {0, 0x20, 0x20});
    ASSERT_TRUE(zul::CheckLeverUp(run.bench.ctx));
    EXPECT_EQ(run.bench.Lines(), Lines{kTitle});  // collected, not reported yet
    EXPECT_FALSE(zul::CheckLeverDown(run.bench.ctx));
    EXPECT_EQ(run.bench.Lines(),
              (Lines{kTitle, kBanner, "", kDescriptions, "Left lever sensor cannot be activated.",
                     "Right lever sensor cannot be activated."}));
}

TEST(LeverCheck, FaultsOnlyInTheDownStep) {
    LeverRun run({1, 0xC0, 0xC0}, {0, 128, 0x20});
    ASSERT_TRUE(zul::CheckLeverUp(run.bench.ctx));
    EXPECT_FALSE(zul::CheckLeverDown(run.bench.ctx));
    EXPECT_EQ(run.bench.Lines(), (Lines{kTitle, kBanner, "", kDescriptions,
                                        "Left lever sensor cannot be deactivated."}));
}

TEST(LeverCheck, BackLeverTwoFailsBothStepsAndTheHeaderComesOnce) {
    LeverRun run({2, 0xC0, 127}, {2, 0x20, 128});
    ASSERT_TRUE(zul::CheckLeverUp(run.bench.ctx));
    EXPECT_FALSE(zul::CheckLeverDown(run.bench.ctx));
    EXPECT_EQ(run.bench.Lines(),
              (Lines{kTitle, kBanner, "", kDescriptions, "Back lever sensor cannot be activated.",
                     "Right lever sensor cannot be activated.",
                     "Back lever sensor cannot be deactivated.",
                     "Right lever sensor cannot be deactivated."}));
    EXPECT_EQ(run.bench.data.leverValue, (std::array<uint8_t, 3>{2, 0x20, 128}));
}

TEST(LeverCheck, NewItemForgetsTheFaultsOfTheLastOne) {
    LeverRun run({1, 0x10, 0xC0}, {0, 0x20, 0x20});
    ASSERT_TRUE(zul::CheckLeverUp(run.bench.ctx));
    EXPECT_FALSE(zul::CheckLeverDown(run.bench.ctx));
    run.bench.unit.profile().leverPaperIn = {1, 0xC0, 0xC0};
    run.bench.result.Trim(1);
    ASSERT_TRUE(zul::CheckLeverUp(run.bench.ctx));
    EXPECT_TRUE(zul::CheckLeverDown(run.bench.ctx));
}

TEST(LeverCheck, SilentUnitInTheDownStepHidesTheUpFaults) {
    LeverRun run({1, 0x10, 0xC0}, {0, 0x20, 0x20});
    ASSERT_TRUE(zul::CheckLeverUp(run.bench.ctx));
    zul::test::FaultOn(run.bench.unit.profile(), zul::cmd::kEnq, zul::test::Silent());
    EXPECT_FALSE(zul::CheckLeverDown(run.bench.ctx));
    EXPECT_EQ(run.bench.Lines(), (Lines{kTitle, "", "Communication error"}));
}

TEST(LeverCheck, UnacknowledgedOpenIsACommunicationError) {
    ItemBench bench(zul::test::WithFault(zul::cmd::kOpenLever, zul::test::Refuse()), kTitle);
    EXPECT_FALSE(zul::CheckLeverUp(bench.ctx));
    EXPECT_EQ(bench.Lines(), (Lines{kTitle, "", "Communication error"}));
    EXPECT_EQ(bench.CountSent(zul::cmd::kEnq), 0u);
}

TEST(LeverCheck, ShortMiddleBlockIsACommunicationError) {
    ItemBench bench(zul::test::WithFault(zul::cmd::kEnq, zul::test::Short(15)), kTitle);
    EXPECT_FALSE(zul::CheckLeverUp(bench.ctx));
    EXPECT_EQ(bench.Lines(), (Lines{kTitle, "", "Communication error"}));
}

}  // namespace
