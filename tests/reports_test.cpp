#include "adjust/Reports.h"

#include <gtest/gtest.h>

using zul::MemoryResultArea;

namespace {

using Lines = std::vector<std::string>;

MemoryResultArea AreaWith(const Lines& lines) {
    MemoryResultArea area;
    for (const auto& line : lines) area.Append(line);
    return area;
}

TEST(Reports, CommErrorKeepsOnlyTheTitleAndAddsTwoLines) {
    auto area = AreaWith({"*** 1.Eeprom Erasing ***", "Erasing EEPROM......", "more"});
    EXPECT_FALSE(zul::ReportCommError(area));
    EXPECT_EQ(area.Lines(), (Lines{"*** 1.Eeprom Erasing ***", "", "Communication error"}));
}

TEST(Reports, BannerIsOneLineRightUnderTheTitle) {
    auto area = AreaWith({"*** 2.Lever sensor check ***"});
    EXPECT_FALSE(zul::ReportItemError(area, zul::banner::kAccepterLeverError));
    EXPECT_EQ(area.Lines(), (Lines{"*** 2.Lever sensor check ***",
                                   "XXXXXX    Accepter lever error !    XXXXXX"}));
}

TEST(Reports, EmptyAreaIsNotTrimmed) {
    MemoryResultArea area;
    zul::ReportCommError(area);
    EXPECT_EQ(area.Lines(), (Lines{"", "Communication error"}));
}

TEST(Reports, ClickCancelFollowsTheLastLineAfterOneEmptyLine) {
    auto area = AreaWith({"*** 7.Moter speed check ***", "", "Communication error"});
    zul::ReportClickCancel(area);
    EXPECT_EQ(area.Lines(), (Lines{"*** 7.Moter speed check ***", "", "Communication error", "",
                                   "Click Cancel"}));
}

TEST(Reports, BannersKeepTheirFramingBlanks) {
    EXPECT_EQ(zul::banner::kWhiteReferenceError.find("XXXXXX  Adj"), 0u);
    EXPECT_EQ(zul::banner::kMoterSpeedError, "XXXXXX    Moter speed error !    XXXXXX");
    EXPECT_EQ(zul::kDescriptionsLine.size(), 6u + 1 + 12 + 1 + 31);
}

}  // namespace
