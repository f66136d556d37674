#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "adjust/LeverCheck.h"
#include "adjust/MagAdjustment.h"
#include "adjust/MotorSpeed.h"
#include "adjust/SensorTables.h"

namespace zul {

// Every value an item judges, with the limits it is judged against: the
// catalogue the run records write beside each reading and the report judges
// older records by. Its entries come from the limit tables the items
// themselves judge with, so the two cannot drift apart.
//
// A value is known by its item, its name and, for the optical sensors, its
// sensor slot: "3.da.0" (the white D/A of slot 0, "Front Ir"), "6.peak.28",
// "2.paper_in.back", "7.speed". Both bounds are inclusive.
struct JudgedValue {
    int item;                // 2 to 7
    std::string_view name;   // "da", "ad", "paper_in.back", "peak", "speed", ...
    int slot;                // sensor slot 0-29, or -1 for a value without one
    std::string_view label;  // "Front Ir", "Back lever", "Mag peak", ...
    uint8_t lower;
    uint8_t upper;
    bool judged;  // false for a value shown beside its limits but never judged
    // Where a record of the first format kept it: the item's "measured" entry
    // of that name, at index (or the entry itself for index -1).
    std::string_view measured;
    int index;
};

namespace judged_detail {

inline constexpr std::size_t kLeverCount = 2 * lever::kCount;
inline constexpr std::size_t kCount =
    kLeverCount + 2 * slot::kWhiteCount + slot::kBlackCount + slot::kNonPaperCount + 2 + 1;

inline constexpr std::string_view kLeverNames[2][lever::kCount] = {
    {"paper_in.back", "paper_in.left", "paper_in.right"},
    {"paper_out.back", "paper_out.left", "paper_out.right"}};
inline constexpr std::string_view kLeverLabels[lever::kCount] = {"Back lever", "Left lever",
                                                                 "Right lever"};

// The lever rules as bounds: back exactly its limit; left and right at
// least the threshold with paper, below it without.
constexpr JudgedValue LeverValue(bool paperIn, std::size_t i) {
    const uint8_t limit = paperIn ? LeverUpLimit[i] : LeverDownLimit[i];
    uint8_t lower = limit, upper = limit;
    if (i != lever::kBack) {
        lower = paperIn ? limit : 0;
        upper = paperIn ? 0xFF : static_cast<uint8_t>(limit - 1);
    }
    return {2,
            kLeverNames[paperIn ? 0 : 1][i],
            -1,
            kLeverLabels[i],
            lower,
            upper,
            true,
            paperIn ? "paper_in" : "paper_out",
            static_cast<int>(i)};
}

constexpr std::array<JudgedValue, kCount> MakeCatalogue() {
    std::array<JudgedValue, kCount> all{};
    std::size_t n = 0;
    for (bool paperIn : {true, false}) {
        for (std::size_t i = 0; i < lever::kCount; ++i) all[n++] = LeverValue(paperIn, i);
    }
    for (std::size_t i = 0; i < slot::kWhiteCount; ++i) {
        const std::size_t s = slot::kWhiteFirst + i;
        all[n++] = {
            3,    "da", static_cast<int>(s), WhiteSensorName[i], DaLowerLimit[s], DaUpperLimit[s],
            true, "da", static_cast<int>(i)};
    }
    for (std::size_t i = 0; i < slot::kWhiteCount; ++i) {
        const std::size_t s = slot::kWhiteFirst + i;
        all[n++] = {
            3,    "ad", static_cast<int>(s), WhiteSensorName[i], AdLowerLimit[s], AdUpperLimit[s],
            true, "ad", static_cast<int>(i)};
    }
    for (std::size_t i = 0; i < slot::kBlackCount; ++i) {
        const std::size_t s = slot::kBlackFirst + i;
        all[n++] = {
            4,    "ad", static_cast<int>(s), BlackSensorName[i], AdLowerLimit[s], AdUpperLimit[s],
            true, "ad", static_cast<int>(i)};
    }
    for (std::size_t i = 0; i < slot::kNonPaperCount; ++i) {
        const std::size_t s = slot::kNonPaperFirst + i;
        all[n++] = {5,
                    "ad",
                    static_cast<int>(s),
                    NonPaperSensorName[i],
                    AdLowerLimit[s],
                    AdUpperLimit[s],
                    true,
                    "ad",
                    static_cast<int>(i)};
    }
    // The peak sample is judged; the A/D sample is shown to the operator
    // against the same window but never judged.
    all[n++] = {6,          "peak",        static_cast<int>(slot::kMagPeak),
                "Mag peak", MagLowerLimit, MagUpperLimit,
                true,       "peak",        -1};
    all[n++] = {6,         "ad",          static_cast<int>(slot::kMagAd),
                "Mag A/D", MagLowerLimit, MagUpperLimit,
                false,     "ad",          -1};
    all[n++] = {7,    "speed", -1, "Motor speed", MotorSpeedLowerLimit, MotorSpeedUpperLimit,
                true, "speed", -1};
    return all;
}

// FNV-1a, 32 bits.
constexpr uint32_t Mix(uint32_t hash, uint8_t byte) {
    return (hash ^ byte) * 16777619u;
}
constexpr uint32_t Mix(uint32_t hash, std::string_view text) {
    for (char c : text) hash = Mix(hash, static_cast<uint8_t>(c));
    return Mix(hash, 0);
}

}  // namespace judged_detail

// The whole catalogue, in item order.
inline constexpr std::array<JudgedValue, judged_detail::kCount> kJudgedValues =
    judged_detail::MakeCatalogue();

// The catalogue's entries of one item (empty for items 1 and out of range).
constexpr std::span<const JudgedValue> JudgedValuesOf(int item) {
    std::size_t first = 0;
    while (first < kJudgedValues.size() && kJudgedValues[first].item != item) ++first;
    std::size_t last = first;
    while (last < kJudgedValues.size() && kJudgedValues[last].item == item) ++last;
    return std::span<const JudgedValue>(kJudgedValues).subspan(first, last - first);
}

// The entry of item whose name (and slot, where it has one) match; nullptr
// for none.
constexpr const JudgedValue* FindJudgedValue(int item, std::string_view name, int slotNumber) {
    for (const JudgedValue& v : kJudgedValues) {
        if (v.item == item && v.name == name && v.slot == slotNumber) return &v;
    }
    return nullptr;
}

// The entry a first-format record kept as measured[name][index] of item.
constexpr const JudgedValue* FindMeasuredValue(int item, std::string_view measured, int index) {
    for (const JudgedValue& v : kJudgedValues) {
        if (v.item == item && v.measured == measured && v.index == index) return &v;
    }
    return nullptr;
}

// The limits revision: a hash of every entry of a catalogue (what is
// judged, by which name and slot, between which bounds), shown as 8
// hexadecimal digits. Any change of a limit table changes it.
constexpr uint32_t LimitsRevisionHash(std::span<const JudgedValue> values = kJudgedValues) {
    uint32_t hash = 2166136261u;
    for (const JudgedValue& v : values) {
        hash = judged_detail::Mix(hash, static_cast<uint8_t>(v.item));
        hash = judged_detail::Mix(hash, v.name);
        hash = judged_detail::Mix(hash, static_cast<uint8_t>(v.slot + 1));
        hash = judged_detail::Mix(hash, v.lower);
        hash = judged_detail::Mix(hash, v.upper);
        hash = judged_detail::Mix(hash, static_cast<uint8_t>(v.judged));
    }
    return hash;
}
constexpr std::array<char, 9> LimitsRevisionText() {
    std::array<char, 9> text{};
    const uint32_t hash = LimitsRevisionHash();
    for (int i = 0; i < 8; ++i) text[i] = "0123456789abcdef"[(hash >> (28 - 4 * i)) & 0xF];
    return text;
}
inline constexpr std::array<char, 9> kLimitsRevisionText = LimitsRevisionText();
inline constexpr std::string_view kLimitsRevision{kLimitsRevisionText.data(), 8};

}  // namespace zul
