#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "adjust/SensorTables.h"
#include "mock/CaseNames.h"

namespace {

using zul::AdWithinLimits;
using zul::DaWithinLimits;

// One probe of a limit: slot, value, expected verdict.
struct Probe {
    std::size_t slot;
    uint8_t value;
    bool passes;
};

void PrintTo(const Probe& p, std::ostream* os) {
    *os << "slot " << p.slot << " value " << int(p.value) << (p.passes ? " passes" : " fails");
}

class AdLimits : public testing::TestWithParam<Probe> {};

TEST_P(AdLimits, BoundsAreInclusive) {
    EXPECT_EQ(AdWithinLimits(GetParam().slot, GetParam().value), GetParam().passes);
}

// At and beyond each bound of every kind of slot.
INSTANTIATE_TEST_SUITE_P(
    EachKindOfSlot, AdLimits,
    testing::Values(
        // white sensor slots 0-5: 62..92
        Probe{0, 61, false}, Probe{0, 62, true}, Probe{0, 92, true}, Probe{0, 93, false},
        Probe{5, 61, false}, Probe{5, 93, false},
        // white reference slots 6-9: 152..206
        Probe{6, 151, false}, Probe{6, 152, true}, Probe{9, 206, true}, Probe{9, 207, false},
        // M LRed / M RRed 10-11: 54..100
        Probe{10, 53, false}, Probe{10, 54, true}, Probe{11, 100, true}, Probe{11, 101, false},
        // Up Ir / Up Red 12-13: 50..104
        Probe{12, 49, false}, Probe{12, 50, true}, Probe{13, 104, true}, Probe{13, 105, false},
        // black 14-17: 0..102
        Probe{14, 0, true}, Probe{14, 102, true}, Probe{17, 103, false},
        // non-paper 18-23 and 26-27: 51..153
        Probe{18, 50, false}, Probe{18, 51, true}, Probe{23, 153, true}, Probe{23, 154, false},
        Probe{26, 50, false}, Probe{27, 153, true},
        // non-paper M LRed / M RRed 24-25: 28..153
        Probe{24, 27, false}, Probe{24, 28, true}, Probe{25, 50, true}, Probe{25, 154, false},
        // no such slot
        Probe{30, 50, false}),
    zul::test::PrintedName());

class DaLimits : public testing::TestWithParam<Probe> {};

TEST_P(DaLimits, OnlyTheLowerBoundCanFail) {
    EXPECT_EQ(DaWithinLimits(GetParam().slot, GetParam().value), GetParam().passes);
}

INSTANTIATE_TEST_SUITE_P(EveryWhiteSlot, DaLimits, testing::ValuesIn([] {
                             std::vector<Probe> probes;
                             for (std::size_t s = 0; s < 14; ++s) {
                                 probes.push_back({s, 29, false});
                                 probes.push_back({s, 30, true});
                                 probes.push_back({s, 255, true});
                             }
                             probes.push_back({16, 100, false});
                             return probes;
                         }()),
                         zul::test::PrintedName());

TEST(SensorTables, MagSlotsHoldZeroLimits) {
    EXPECT_EQ(zul::AdUpperLimit[28], 0);
    EXPECT_EQ(zul::AdLowerLimit[29], 0);
}

TEST(SensorTables, NamesFitTheirFields) {
    EXPECT_STREQ(zul::WhiteSensorName[9], "Dw Red Ref");
    EXPECT_STREQ(zul::WhiteSensorName[13], "Up Red");
    EXPECT_STREQ(zul::BlackSensorName[0], "Up Ir Ref");
    EXPECT_STREQ(zul::NonPaperSensorName[6], "M LRed");
    EXPECT_STREQ(zul::NonPaperSensorName[9], "Up Red");
}

// raw byte, bits 3-0, bits 5-4, bits 7-6, bits 6 and 4 (-1: entry untouched).
using DecodeCase = std::tuple<uint8_t, int, int, int, int>;

class Decoders : public testing::TestWithParam<DecodeCase> {};

TEST_P(Decoders, DecodeTheirBitsOnly) {
    const auto [raw, low, mid, high, sixFour] = GetParam();
    constexpr uint8_t kUntouched = 0xAA;
    zul::RegValues values{};
    values.fill(kUntouched);
    zul::RegFromBits3To0(raw, 0, values);
    zul::RegFromBits5To4(raw, 1, values);
    zul::RegFromBits7To6(raw, 2, values);
    zul::RegFromBits6And4(raw, 3, values);
    EXPECT_EQ(values[0], low);
    EXPECT_EQ(values[1], mid);
    EXPECT_EQ(values[2], high);
    EXPECT_EQ(values[3], sixFour < 0 ? kUntouched : sixFour);
    EXPECT_EQ(values[4], kUntouched);
}

INSTANTIATE_TEST_SUITE_P(
    RawBytes, Decoders,
    testing::Values(DecodeCase{0x50, 0, 1, 1, 3}, DecodeCase{0x10, 0, 1, 0, 2},
                    DecodeCase{0x40, 0, 0, 1, 1}, DecodeCase{0x00, 0, 0, 0, 0},
                    DecodeCase{0x20, 0, 2, 0, -1}, DecodeCase{0x80, 0, 0, 2, -1},
                    DecodeCase{0xF0, 0, 3, 3, -1}, DecodeCase{0xE4, 4, 2, 3, -1},
                    DecodeCase{0x5F, 15, 1, 1, 3}),
    [](const auto& info) { return zul::test::HexName("Raw", std::get<0>(info.param)); });

TEST(Decoders, EntryOutsideTheArrayIsIgnored) {
    zul::RegValues values{};
    zul::RegFromBits3To0(0x0F, values.size(), values);
    zul::RegFromBits6And4(0x50, 1000, values);
    for (uint8_t v : values) EXPECT_EQ(v, 0);
}

TEST(Decoders, DecodeRegistersClearsFirst) {
    zul::AdjustmentData data;
    data.regValue.fill(9);
    data.regRaw[4] = 0x20;  // stores nothing
    data.regRaw[5] = 0x50;
    const zul::RegDecode plan[] = {{zul::RegFromBits6And4, 4, 8}, {zul::RegFromBits6And4, 5, 9}};
    zul::DecodeRegisters(plan, data);
    EXPECT_EQ(data.regValue[8], 0);
    EXPECT_EQ(data.regValue[9], 3);
    EXPECT_EQ(data.regValue[0], 0);
}

}  // namespace
