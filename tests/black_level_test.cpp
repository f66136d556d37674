#include <gtest/gtest.h>

#include "adjust/BlackLevel.h"
#include "mock/ItemBench.h"
#include "serial/Commands.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;
using zul::test::ItemBench;

constexpr const char* kTitle = "*** 4.Black level adjustment ***";

TEST(BlackLevel, LimitsZeroAnd102PassWithTheEepromWrite) {
    zul::sim::Profile p;
    p.blackResult = {0, 102, 50, 101};
    ItemBench bench(p, kTitle);
    bench.data.adValue[3] = 77;  // a white value: the black measurement clears it
    EXPECT_TRUE(zul::AdjustBlackLevel(bench.ctx));
    EXPECT_EQ(bench.Sent(), (Bytes{0xA2, 0x05, 0xB0, 0xB4}));
    EXPECT_EQ(bench.Lines(), Lines{kTitle});
    EXPECT_EQ(bench.data.adValue[3], 0);
    EXPECT_EQ(bench.data.adValue[15], 102);
}

TEST(BlackLevel, FailureTableListsTheFailingSlotsInOrder) {
    zul::sim::Profile p;
    p.blackResult = {50, 103, 60, 255};
    ItemBench bench(p, kTitle);
    bench.data.daNg[0] = 1;  // left from the white level: neither cleared nor consulted
    EXPECT_FALSE(zul::AdjustBlackLevel(bench.ctx));
    EXPECT_EQ(bench.Lines(),
              (Lines{kTitle, "XXXXXX  Adjustment error of black reference paper !  XXXXXX", "",
                     "****** Descriptions *******************************", "No.  Name        A/D",
                     " 1. Up Red Ref  (103p) ", " 2. Dw Red Ref  (255p) "}));
    EXPECT_EQ(bench.CountSent(zul::cmd::kEepromWrite), 0u);
    EXPECT_EQ(bench.data.daNg[0], 1);
}

TEST(BlackLevel, ShortBlockIsACommunicationError) {
    ItemBench bench(zul::test::WithFault(zul::cmd::kEnq, zul::test::Short(3)), kTitle);
    EXPECT_FALSE(zul::AdjustBlackLevel(bench.ctx));
    EXPECT_EQ(bench.Lines(), (Lines{kTitle, "", "Communication error"}));
    EXPECT_EQ(bench.CountSent(zul::cmd::kEnq), 4u);
}

}  // namespace
