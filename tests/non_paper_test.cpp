#include <gtest/gtest.h>

#include "adjust/NonPaper.h"
#include "mock/CaseNames.h"
#include "mock/ItemBench.h"
#include "serial/Commands.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;
using zul::test::ItemBench;
using zul::test::Refuse;
using zul::test::Silent;

constexpr const char* kTitle = "*** 5.Non paper adjustment ***";
constexpr const char* kBanner = "XXXXXX  Adjustment error of non paper !  XXXXXX";
constexpr const char* kResister = "XXXXXX    Resister adjustment error !    XXXXXX";
constexpr const char* kDescriptions = "****** Descriptions *******************************";
constexpr const char* kHeader = "No.  Name        A/D    Reg";

// One reading of a row and whether the row passes.
struct RowProbe {
    std::size_t row;
    uint8_t value;
    bool passes;
};

void PrintTo(const RowProbe& p, std::ostream* os) {
    *os << "row " << p.row << " value " << int(p.value);
}

class NonPaperLimits : public testing::TestWithParam<RowProbe> {};

TEST_P(NonPaperLimits, JudgedByItsSlot) {
    zul::sim::Profile p;
    p.nonPaperResult[GetParam().row] = GetParam().value;
    ItemBench bench(p, kTitle);
    EXPECT_EQ(zul::AdjustNonPaper(bench.ctx), GetParam().passes);
    EXPECT_EQ(bench.CountSent(zul::cmd::kEepromWrite), GetParam().passes ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(AtAndBeyondTheBounds, NonPaperLimits,
                         testing::Values(RowProbe{0, 51, true}, RowProbe{0, 153, true},
                                         RowProbe{0, 50, false}, RowProbe{0, 154, false},
                                         RowProbe{6, 28, true}, RowProbe{7, 27, false},
                                         RowProbe{6, 50, true}, RowProbe{9, 154, false}),
                         zul::test::PrintedName());

TEST(NonPaper, HealthyUnitSequenceAndTimeOuts) {
    ItemBench bench({}, kTitle);
    EXPECT_TRUE(zul::AdjustNonPaper(bench.ctx));
    EXPECT_EQ(bench.Sent(), (Bytes{0xA3, 0xC1, 0x05, 0xEE, 0x05, 0xB0, 0xB4}));
    EXPECT_EQ(bench.port.TimeoutsAt(0xC1), (std::vector<uint16_t>{5000}));
    EXPECT_EQ(bench.port.TimeoutsAt(0xEE), (std::vector<uint16_t>{2000}));
    EXPECT_EQ(bench.port.ReadTimeout(), 2000);
    EXPECT_EQ(bench.Lines(), Lines{kTitle});
}

TEST(NonPaper, FailureTableOfAllTenRows) {
    zul::sim::Profile p;
    p.nonPaperResult = {50, 154, 0, 255, 20, 33, 27, 154, 1, 2, 99, 99};
    p.nonPaperRegisters = {0xE4, 0x5B, 0x20, 0x50};
    ItemBench bench(p, kTitle);
    EXPECT_FALSE(zul::AdjustNonPaper(bench.ctx));
    EXPECT_EQ(
        bench.Lines(),
        (Lines{kTitle, kBanner, "", kDescriptions, kHeader, " 1. Front Ir    ( 50p) ( 4) ",
               " 2. Left Ir     (154p) ( 2) ", " 3. Right Ir    (  0p) ( 3) ",
               " 4. Front Red   (255p) (11) ", " 5. Left Red    ( 20p) ( 1) ",
               " 6. Right Red   ( 33p) ( 1) ", " 7. M LRed      ( 27p) ", " 8. M RRed      (154p) ",
               " 9. Up Ir       (  1p) ( 0) ", "10. Up Red      (  2p) ( 3) "}));
    EXPECT_EQ(
        std::vector<uint8_t>(bench.data.regValue.begin() + 14, bench.data.regValue.begin() + 22),
        (Bytes{4, 2, 3, 11, 1, 1, 0, 3}));
}

TEST(NonPaper, RowNumbersCountPrintedRows) {
    zul::sim::Profile p;
    p.nonPaperResult[2] = 154;
    p.nonPaperResult[9] = 50;
    p.nonPaperRegisters = {0xC0, 0x00, 0x00, 0x10};
    ItemBench bench(p, kTitle);
    EXPECT_FALSE(zul::AdjustNonPaper(bench.ctx));
    EXPECT_EQ(bench.Lines(),
              (Lines{kTitle, kBanner, "", kDescriptions, kHeader, " 1. Right Ir    (154p) ( 3) ",
                     " 2. Up Red      ( 50p) ( 2) "}));
}

TEST(NonPaper, RefusedConfirmationFailsAtOnce) {
    ItemBench bench(zul::test::WithFault(zul::cmd::kConfirm, Refuse()), kTitle);
    EXPECT_FALSE(zul::AdjustNonPaper(bench.ctx));
    EXPECT_EQ(bench.Lines(), (Lines{kTitle, kResister}));
    EXPECT_EQ(bench.Sent(), (Bytes{0xA3, 0xC1, 0x05, 0xEE}));
}

TEST(NonPaper, RefusedResistorAdjustmentPutsTheTimeOutBack) {
    ItemBench bench(zul::test::WithFault(zul::cmd::kNonPaperResistor, Refuse()), kTitle);
    EXPECT_FALSE(zul::AdjustNonPaper(bench.ctx));
    EXPECT_EQ(bench.Lines(), (Lines{kTitle, kResister}));
    EXPECT_EQ(bench.port.ReadTimeout(), 2000);
}

TEST(NonPaper, SilentResistorAdjustmentPutsTheTimeOutBack) {
    ItemBench bench(zul::test::WithFault(zul::cmd::kNonPaperResistor, Silent()), kTitle);
    EXPECT_FALSE(zul::AdjustNonPaper(bench.ctx));
    EXPECT_EQ(bench.Lines(), (Lines{kTitle, "", "Communication error"}));
    EXPECT_EQ(bench.port.TimeoutsAt(0xC1), (std::vector<uint16_t>(4, 5000)));
    EXPECT_EQ(bench.port.ReadTimeout(), 2000);
    EXPECT_EQ(bench.clock.NowMs(), 1000u + 4 * 5010u);
}

TEST(NonPaper, ShortResultBlockIsACommunicationError) {
    ItemBench bench(zul::test::WithFault(zul::cmd::kEnq, zul::test::Short(11)), kTitle);
    EXPECT_FALSE(zul::AdjustNonPaper(bench.ctx));
    EXPECT_EQ(bench.Lines(), (Lines{kTitle, "", "Communication error"}));
    EXPECT_EQ(bench.CountSent(zul::cmd::kConfirm), 1u);
}

}  // namespace
