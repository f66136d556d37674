#include <gtest/gtest.h>

#include "adjust/ReportRows.h"

namespace {

TEST(ReportRows, ColumnsAndTrailingBlanks) {
    EXPECT_EQ(zul::DaAdRegRow(1, "Front Red", 128, 93, 5), " 1. Front Red   (128p) ( 93p) ( 5) ");
    EXPECT_EQ(zul::DaAdRow(12, "M LRed", 29, 7), "12. M LRed      ( 29p) (  7p) ");
    EXPECT_EQ(zul::AdRegRow(2, "Up Red", 154, 15), " 2. Up Red      (154p) (15) ");
    EXPECT_EQ(zul::AdRow(3, "Dw Red Ref", 255), " 3. Dw Red Ref  (255p) ");
    EXPECT_EQ(zul::MagAdLine(45), " A/D    45p ");
    EXPECT_EQ(zul::MotorSpeedLine(5), " Moter speed     5 ");
    EXPECT_EQ(zul::MotorSpeedLine(122), " Moter speed   122 ");
}

}  // namespace
