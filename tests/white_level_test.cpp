#include <gtest/gtest.h>

#include <algorithm>

#include "adjust/WhiteLevel.h"
#include "mock/ItemBench.h"
#include "serial/Commands.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;
using zul::test::ItemBench;
using zul::test::Refuse;
using zul::test::Silent;

constexpr const char* kTitle = "*** 3.White level adjustment ***";
constexpr const char* kWhiteBanner = "XXXXXX  Adjustment error of white reference paper !  XXXXXX";
constexpr const char* kResister = "XXXXXX    Resister adjustment error !    XXXXXX";
constexpr const char* kDescriptions = "****** Descriptions *******************************";
constexpr const char* kHeader = "No.  Name        D/A    A/D    Reg";

// Reply offsets of the A/D and D/A values of a slot in the 31-byte block.
std::size_t AdOffset(std::size_t slot) {
    return slot < 12 ? slot : 27 + (slot - 12);
}
std::size_t DaOffset(std::size_t slot) {
    return slot < 12 ? 15 + slot : 29 + (slot - 12);
}

zul::sim::Profile WithReadings(std::initializer_list<std::pair<std::size_t, uint8_t>> ad,
                               std::initializer_list<std::pair<std::size_t, uint8_t>> da) {
    zul::sim::Profile p;
    for (auto [slot, v] : ad) p.whiteResult[AdOffset(slot)] = v;
    for (auto [slot, v] : da) p.whiteResult[DaOffset(slot)] = v;
    return p;
}

TEST(WhiteLevel, HealthyUnitPassesWithTheEepromWrite) {
    ItemBench bench({}, kTitle);
    EXPECT_TRUE(zul::AdjustWhiteLevel(bench.ctx));
    EXPECT_EQ(bench.Sent(), (Bytes{0xA1, 0xC0, 0x05, 0xEE, 0xE0, 0xB0, 0xB4}));
    EXPECT_EQ(bench.Lines(), Lines{kTitle});
    EXPECT_EQ(bench.clock.SleptMs(), 2000u);  // after 0xA1 and inside the EEPROM write
    EXPECT_EQ(bench.port.TimeoutsAt(0xE0), (std::vector<uint16_t>{10000}));
    EXPECT_EQ(bench.port.ReadTimeout(), 2000);
}

TEST(WhiteLevel, ResultBlockLayoutLeavesBytes12To14Unused) {
    zul::sim::Profile p;
    for (std::size_t i = 0; i < p.whiteResult.size(); ++i) p.whiteResult[i] = uint8_t(100 + i);
    ItemBench bench(p, kTitle);
    ASSERT_TRUE(zul::MeasureWhiteLevel(bench.ctx));
    for (std::size_t s = 0; s < 14; ++s) {
        EXPECT_EQ(bench.data.adValue[s], 100 + AdOffset(s)) << "slot " << s;
        EXPECT_EQ(bench.data.daValue[s], 100 + DaOffset(s)) << "slot " << s;
    }
    for (uint8_t unused : {112, 113, 114}) {
        for (const auto* field : {&bench.data.adValue, &bench.data.daValue, &bench.data.regRaw}) {
            EXPECT_EQ(std::count(field->begin(), field->end(), unused), 0) << int(unused);
        }
    }
    EXPECT_EQ(std::count(bench.data.adValue.begin() + 14, bench.data.adValue.end(), 0), 16);
}

TEST(WhiteLevel, FailureTableCountsPrintedRowsAndDropsTheRegisterOfMLRed) {
    auto p = WithReadings({{0, 61}, {3, 93}, {12, 49}}, {{0, 29}, {10, 29}});
    p.whiteRegisters = {0xE4, 0x5B, 0x05, 0x05, 0x40, 0x40, 0x50, 0x20};
    ItemBench bench(p, kTitle);
    EXPECT_FALSE(zul::AdjustWhiteLevel(bench.ctx));
    EXPECT_EQ(bench.Lines(),
              (Lines{kTitle, kWhiteBanner, "", kDescriptions, kHeader,
                     " 1. Front Ir    ( 29p) ( 61p) ( 4) ", " 2. Front Red   (128p) ( 93p) (11) ",
                     " 3. M LRed      ( 29p) ( 77p) ", " 4. Up Ir       (128p) ( 49p) ( 3) "}));
    EXPECT_EQ(bench.CountSent(zul::cmd::kEepromWrite), 0u);
    EXPECT_EQ(bench.data.daNg[0] + bench.data.adNg[0], 2);
}

TEST(WhiteLevel, TwoFailingSlotsGiveRowsOneAndTwo) {
    ItemBench bench(WithReadings({{3, 61}, {12, 105}, {11, 101}}, {}), kTitle);
    EXPECT_FALSE(zul::AdjustWhiteLevel(bench.ctx));
    EXPECT_EQ(bench.Lines(),
              (Lines{kTitle, kWhiteBanner, "", kDescriptions, kHeader,
                     " 1. Front Red   (128p) ( 61p) ( 5) ", " 2. M RRed      (128p) (101p) ",
                     " 3. Up Ir       (128p) (105p) ( 1) "}));
}

TEST(WhiteLevel, ValuesOnTheLimitsPass) {
    ItemBench bench(WithReadings({{0, 62}, {1, 92}, {6, 152}, {9, 206}, {10, 54}, {13, 104}},
                                 {{0, 30}, {13, 255}}),
                    kTitle);
    EXPECT_TRUE(zul::AdjustWhiteLevel(bench.ctx));
}

TEST(WhiteLevel, RegistersAreDecodedOnAPassToo) {
    zul::sim::Profile p;
    p.whiteRegisters = {0xE4, 0x00, 0x0C, 0x07, 0x10, 0xF0, 0x50, 0x40};
    ItemBench bench(p, kTitle);
    ASSERT_TRUE(zul::AdjustWhiteLevel(bench.ctx));
    EXPECT_EQ(std::vector<uint8_t>(bench.data.regValue.begin(), bench.data.regValue.begin() + 14),
              (Bytes{4, 2, 3, 0, 0, 0, 12, 7, 2, 0, 0, 0, 3, 1}));
}

TEST(WhiteLevel, RefusedConfirmationRepeatsTheSequenceAndDecodesTheLastRegisters) {
    ItemBench bench(zul::test::WithFault(zul::cmd::kConfirm, Refuse(1)), kTitle);
    bool changed = false;
    bench.port.onWrite = [&](const Bytes& bytes) {
        if (!changed && bytes == Bytes{0xEE}) {
            bench.unit.profile().whiteRegisters = {0x03, 0x0C, 0x01, 0x02, 0x50, 0x10, 0x00, 0x40};
            changed = true;
        }
    };
    EXPECT_TRUE(zul::AdjustWhiteLevel(bench.ctx));
    EXPECT_EQ(bench.Sent(),
              (Bytes{0xA1, 0xC0, 0x05, 0xEE, 0xA1, 0xC0, 0x05, 0xEE, 0xE0, 0xB0, 0xB4}));
    EXPECT_EQ(std::vector<uint8_t>(bench.data.regRaw.begin(), bench.data.regRaw.begin() + 8),
              (Bytes{0x03, 0x0C, 0x01, 0x02, 0x50, 0x10, 0x00, 0x40}));
    EXPECT_EQ(bench.data.regValue[0], 3);
    EXPECT_EQ(bench.data.regValue[8], 3);
    EXPECT_EQ(bench.data.regValue[13], 1);
    EXPECT_EQ(bench.clock.SleptMs(), 3000u);
}

TEST(WhiteLevel, ThreeRepetitionsAreStillAllowed) {
    zul::sim::Profile p;
    for (uint32_t n = 1; n <= 3; ++n) zul::test::FaultOn(p, zul::cmd::kConfirm, Refuse(n));
    ItemBench bench(p, kTitle);
    EXPECT_TRUE(zul::AdjustWhiteLevel(bench.ctx));
    EXPECT_EQ(bench.CountSent(zul::cmd::kOpenWhite), 4u);
}

TEST(WhiteLevel, FourthRefusalFailsWithTheResisterBanner) {
    static_assert(zul::kWhiteConfirmRepetitions == 3);
    ItemBench bench(zul::test::WithFault(zul::cmd::kConfirm, Refuse()), kTitle);
    EXPECT_FALSE(zul::AdjustWhiteLevel(bench.ctx));
    EXPECT_EQ(bench.Lines(), (Lines{kTitle, kResister}));
    EXPECT_EQ(bench.CountSent(zul::cmd::kOpenWhite), 4u);
    EXPECT_EQ(bench.CountSent(zul::cmd::kConfirm), 4u);
    EXPECT_EQ(bench.CountSent(zul::cmd::kWhiteResult), 0u);
    EXPECT_EQ(bench.CountSent(zul::cmd::kEepromWrite), 0u);
}

TEST(WhiteLevel, RefusedResistorAdjustmentIsTheResisterBanner) {
    ItemBench bench(zul::test::WithFault(zul::cmd::kWhiteResistor, Refuse()), kTitle);
    EXPECT_FALSE(zul::AdjustWhiteLevel(bench.ctx));
    EXPECT_EQ(bench.Lines(), (Lines{kTitle, kResister}));
    EXPECT_EQ(bench.Sent(), (Bytes{0xA1, 0xC0}));
}

TEST(WhiteLevel, SilentConfirmationIsACommunicationError) {
    ItemBench bench(zul::test::WithFault(zul::cmd::kConfirm, Silent()), kTitle);
    EXPECT_FALSE(zul::AdjustWhiteLevel(bench.ctx));
    EXPECT_EQ(bench.Lines(), (Lines{kTitle, "", "Communication error"}));
    EXPECT_EQ(bench.CountSent(zul::cmd::kOpenWhite), 1u);
}

TEST(WhiteLevel, MissingResultBlockPutsTheTimeOutBack) {
    ItemBench bench(zul::test::WithFault(zul::cmd::kWhiteResult, Silent()), kTitle);
    EXPECT_FALSE(zul::AdjustWhiteLevel(bench.ctx));
    EXPECT_EQ(bench.Lines(), (Lines{kTitle, "", "Communication error"}));
    EXPECT_EQ(bench.port.TimeoutsAt(0xE0), (std::vector<uint16_t>(4, 10000)));
    EXPECT_EQ(bench.port.ReadTimeout(), 2000);
}

TEST(WhiteLevel, RefusedEepromWriteFailsThePassedItem) {
    ItemBench bench(zul::test::WithFault(zul::cmd::kEepromExecute, Refuse()), kTitle);
    EXPECT_FALSE(zul::AdjustWhiteLevel(bench.ctx));
    EXPECT_EQ(bench.Lines(), (Lines{kTitle, "XXXXXX    EEPROM writing error    XXXXXX"}));
}

}  // namespace
