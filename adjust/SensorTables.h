#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "adjust/AdjustmentData.h"

namespace zul {

// Sensor slots: every optical reading has a slot number that indexes the A/D
// limit tables and the per-slot arrays of AdjustmentData.
namespace slot {
inline constexpr std::size_t kWhiteFirst = 0;  // white level, slots 0-13
inline constexpr std::size_t kWhiteCount = 14;
inline constexpr std::size_t kWhiteMLRed = 10;  // the two white slots with no register
inline constexpr std::size_t kWhiteMRRed = 11;
inline constexpr std::size_t kBlackFirst = 14;  // black level, slots 14-17
inline constexpr std::size_t kBlackCount = 4;
inline constexpr std::size_t kNonPaperFirst = 18;  // non-paper, slots 18-27
inline constexpr std::size_t kNonPaperCount = 10;
inline constexpr std::size_t kMagPeak = 28;  // mag peak sample (own limits)
inline constexpr std::size_t kMagAd = 29;    // mag A/D sample (own limits)
}  // namespace slot

// A/D limits per slot, both bounds inclusive. Slots 28 and 29 hold 0 and are
// never consulted.
inline constexpr std::array<uint8_t, kSlotCount> AdUpperLimit{
    0x5C, 0x5C, 0x5C, 0x5C, 0x5C, 0x5C, 0xCE, 0xCE, 0xCE, 0xCE, 0x64, 0x64, 0x68, 0x68, 0x66,
    0x66, 0x66, 0x66, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x00, 0x00};
inline constexpr std::array<uint8_t, kSlotCount> AdLowerLimit{
    0x3E, 0x3E, 0x3E, 0x3E, 0x3E, 0x3E, 0x98, 0x98, 0x98, 0x98, 0x36, 0x36, 0x32, 0x32, 0x00,
    0x00, 0x00, 0x00, 0x33, 0x33, 0x33, 0x33, 0x33, 0x33, 0x1C, 0x1C, 0x33, 0x33, 0x00, 0x00};

// D/A limits of the white slots 0-13; the last two entries are read by no item.
inline constexpr std::size_t kDaLimitCount = 16;
inline constexpr std::array<uint8_t, kDaLimitCount> DaUpperLimit{
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00};
inline constexpr std::array<uint8_t, kDaLimitCount> DaLowerLimit{
    0x1E, 0x1E, 0x1E, 0x1E, 0x1E, 0x1E, 0x1E, 0x1E, 0x1E, 0x1E, 0x1E, 0x1E, 0x1E, 0x1E, 0x00, 0x00};

// Sensor names: fixed, zero-padded name fields, printed with "%-11s".
inline constexpr char WhiteSensorName[slot::kWhiteCount][11] = {
    "Front Ir",   "Left Ir",   "Right Ir",   "Front Red", "Left Red", "Right Red", "Up Ir Ref",
    "Up Red Ref", "Dw Ir Ref", "Dw Red Ref", "M LRed",    "M RRed",   "Up Ir",     "Up Red"};
inline constexpr char BlackSensorName[slot::kBlackCount][11] = {"Up Ir Ref", "Up Red Ref",
                                                                "Dw Ir Ref", "Dw Red Ref"};
inline constexpr char NonPaperSensorName[slot::kNonPaperCount][10] = {
    "Front Ir",  "Left Ir", "Right Ir", "Front Red", "Left Red",
    "Right Red", "M LRed",  "M RRed",   "Up Ir",     "Up Red"};

// True when lower <= value <= upper (unsigned, both bounds inclusive).
constexpr bool WithinLimits(uint8_t value, uint8_t lower, uint8_t upper) {
    return value >= lower && value <= upper;
}

// True when value lies within the A/D limits of slot. False for a slot
// outside 0-29.
constexpr bool AdWithinLimits(std::size_t slotNumber, uint8_t value) {
    return slotNumber < kSlotCount &&
           WithinLimits(value, AdLowerLimit[slotNumber], AdUpperLimit[slotNumber]);
}

// True when value lies within the D/A limits of slot. False for a slot
// outside the D/A tables.
constexpr bool DaWithinLimits(std::size_t slotNumber, uint8_t value) {
    return slotNumber < kDaLimitCount &&
           WithinLimits(value, DaLowerLimit[slotNumber], DaUpperLimit[slotNumber]);
}

// Register decoders: each takes one raw register byte and stores a small
// number in regValue[entry]. An entry outside the array is left alone.
using RegValues = std::array<uint8_t, kSlotCount>;

// Bits 3-0: 0 to 15.
void RegFromBits3To0(uint8_t raw, std::size_t entry, RegValues& regValue);
// Bits 5-4: 0 to 3.
void RegFromBits5To4(uint8_t raw, std::size_t entry, RegValues& regValue);
// Bits 7-6: 0 to 3.
void RegFromBits7To6(uint8_t raw, std::size_t entry, RegValues& regValue);
// Bit 6 is the low bit and bit 4 the high bit: high nibble 0x0 gives 0, 0x4
// gives 1, 0x1 gives 2, 0x5 gives 3. Any other high nibble stores nothing, so
// the entry keeps the value it had (callers clear it first).
void RegFromBits6And4(uint8_t raw, std::size_t entry, RegValues& regValue);

// One step of an item's register decoding: decoder of regRaw[rawIndex] into
// regValue[entry].
using RegDecoder = void (*)(uint8_t raw, std::size_t entry, RegValues& regValue);
struct RegDecode {
    RegDecoder decode;
    std::size_t rawIndex;
    std::size_t entry;
};

// Clears all of regValue, then runs every step of plan on regRaw.
void DecodeRegisters(std::span<const RegDecode> plan, AdjustmentData& data);

}  // namespace zul
