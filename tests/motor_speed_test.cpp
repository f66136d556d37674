#include <gtest/gtest.h>

#include "adjust/MotorSpeed.h"
#include "mock/CaseNames.h"
#include "mock/ItemBench.h"
#include "serial/Commands.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;
using zul::test::ItemBench;

constexpr const char* kTitle = "*** 7.Moter speed check ***";

struct SpeedCase {
    uint8_t speed;
    bool passes;
    const char* line;  // the description line of a failure
};

void PrintTo(const SpeedCase& c, std::ostream* os) {
    *os << "speed " << int(c.speed);
}

class MotorSpeed : public testing::TestWithParam<SpeedCase> {};

TEST_P(MotorSpeed, JudgedWithinTheWindow) {
    zul::sim::Profile p;
    p.motorSpeed = GetParam().speed;
    ItemBench bench(p, kTitle);
    EXPECT_EQ(zul::CheckMotorSpeed(bench.ctx), GetParam().passes);
    if (GetParam().passes) {
        EXPECT_EQ(bench.Sent(), (Bytes{0xA6, 0xB0, 0xB4}));
        EXPECT_EQ(bench.Lines(), Lines{kTitle});
    } else {
        EXPECT_EQ(bench.Sent(), Bytes{0xA6});
        EXPECT_EQ(bench.Lines(),
                  (Lines{kTitle, "XXXXXX    Moter speed error !    XXXXXX", "",
                         "****** Descriptions *******************************", GetParam().line}));
    }
    EXPECT_EQ(bench.port.TimeoutsAt(0xA6), (std::vector<uint16_t>{5000}));
    EXPECT_EQ(bench.port.ReadTimeout(), 2000);
}

INSTANTIATE_TEST_SUITE_P(AtAndBeyondTheBounds, MotorSpeed,
                         testing::Values(SpeedCase{89, true, ""}, SpeedCase{121, true, ""},
                                         SpeedCase{88, false, " Moter speed    88 "},
                                         SpeedCase{122, false, " Moter speed   122 "},
                                         SpeedCase{5, false, " Moter speed     5 "}),
                         zul::test::PrintedName());

TEST(MotorSpeedCheck, SilentUnitIsACommunicationErrorAndTheTimeOutIsBack) {
    ItemBench bench(zul::test::WithFault(zul::cmd::kMotorSpeed, zul::test::Silent()), kTitle);
    EXPECT_FALSE(zul::CheckMotorSpeed(bench.ctx));
    EXPECT_EQ(bench.Lines(), (Lines{kTitle, "", "Communication error"}));
    EXPECT_EQ(bench.port.TimeoutsAt(0xA6), (std::vector<uint16_t>(4, 5000)));
    EXPECT_EQ(bench.port.ReadTimeout(), 2000);
    EXPECT_EQ(bench.clock.NowMs(), 4 * 5010u);
}

TEST(MotorSpeedCheck, FailedEepromWriteFailsTheItem) {
    ItemBench bench(zul::test::WithFault(zul::cmd::kEepromWrite, zul::test::Refuse()), kTitle);
    EXPECT_FALSE(zul::CheckMotorSpeed(bench.ctx));
    EXPECT_EQ(bench.Lines(), (Lines{kTitle, "XXXXXX    EEPROM writing error    XXXXXX"}));
    EXPECT_EQ(bench.Sent(), (Bytes{0xA6, 0xB0}));
}

}  // namespace
