// The catalogue of judged values against the items' own judgements: every
// bound it writes into a record is the bound the item judged by.
#include <gtest/gtest.h>

#include <array>
#include <set>
#include <string>
#include <tuple>

#include "adjust/JudgedValues.h"

namespace zul {
namespace {

// The item's own verdict on reading as value v.
bool ItemPasses(const JudgedValue& v, uint8_t reading) {
    switch (v.item) {
        case 2: {
            const bool paperIn = v.measured == "paper_in";
            const auto i = static_cast<std::size_t>(v.index);
            return paperIn ? LeverActivated(i, reading) : LeverDeactivated(i, reading);
        }
        case 3:
            return v.name == "da" ? DaWithinLimits(static_cast<std::size_t>(v.slot), reading)
                                  : AdWithinLimits(static_cast<std::size_t>(v.slot), reading);
        case 4:
        case 5:
            return AdWithinLimits(static_cast<std::size_t>(v.slot), reading);
        case 6:
            return WithinLimits(reading, MagLowerLimit, MagUpperLimit);
        case 7:
            return WithinLimits(reading, MotorSpeedLowerLimit, MotorSpeedUpperLimit);
    }
    ADD_FAILURE() << "no item " << v.item;
    return false;
}

TEST(JudgedValues, EveryBoundIsTheOneTheItemJudgesBy) {
    for (const JudgedValue& v : kJudgedValues) {
        for (int reading = 0; reading <= 255; ++reading) {
            const auto r = static_cast<uint8_t>(reading);
            ASSERT_EQ(WithinLimits(r, v.lower, v.upper), ItemPasses(v, r))
                << v.item << "." << v.name << " slot " << v.slot << " reading " << reading;
        }
    }
}

TEST(JudgedValues, EachValueOnceInItemOrderWithTheSlotNames) {
    std::set<std::tuple<int, std::string_view, int>> seen;
    int lastItem = 0;
    for (const JudgedValue& v : kJudgedValues) {
        EXPECT_TRUE(seen.insert({v.item, v.name, v.slot}).second) << v.item << "." << v.name;
        EXPECT_GE(v.item, lastItem);
        lastItem = v.item;
        EXPECT_EQ(FindJudgedValue(v.item, v.name, v.slot), &v);
        EXPECT_EQ(FindMeasuredValue(v.item, v.measured, v.index), &v);
    }
    // 6 lever readings, 14 white D/A and A/D, 4 black, 10 non-paper, the two
    // mag samples and the motor speed.
    EXPECT_EQ(kJudgedValues.size(), 6u + 28u + 4u + 10u + 2u + 1u);
    EXPECT_EQ(JudgedValuesOf(1).size(), 0u);
    EXPECT_EQ(JudgedValuesOf(3).size(), 28u);

    // Format-1 records kept each item's readings as lists by position.
    const JudgedValue* blackFirst = FindMeasuredValue(4, "ad", 0);
    ASSERT_NE(blackFirst, nullptr);
    EXPECT_EQ(blackFirst->slot, 14);
    EXPECT_EQ(blackFirst->label, "Up Ir Ref");
    const JudgedValue* mLRed = FindMeasuredValue(5, "ad", 6);
    ASSERT_NE(mLRed, nullptr);
    EXPECT_EQ(mLRed->slot, 24);
    EXPECT_EQ(mLRed->label, "M LRed");
    EXPECT_EQ(mLRed->lower, 28);
    const JudgedValue* frontRed = FindJudgedValue(3, "ad", 3);
    ASSERT_NE(frontRed, nullptr);
    EXPECT_EQ(frontRed->label, "Front Red");
    EXPECT_EQ(FindMeasuredValue(3, "ad", 14), nullptr);
    EXPECT_EQ(FindMeasuredValue(6, "peak_held", -1), nullptr);

    // Only the mag A/D sample is shown against limits it is not judged by.
    for (const JudgedValue& v : kJudgedValues) {
        EXPECT_EQ(v.judged, !(v.item == 6 && v.name == "ad")) << v.item << "." << v.name;
    }
}

TEST(JudgedValues, TheLimitsRevisionFollowsEveryBound) {
    EXPECT_EQ(kLimitsRevision.size(), 8u);
    EXPECT_EQ(kLimitsRevision.find_first_not_of("0123456789abcdef"), std::string_view::npos);
    std::array<JudgedValue, kJudgedValues.size()> changed = kJudgedValues;
    const uint32_t base = LimitsRevisionHash(changed);
    for (std::size_t i = 0; i < changed.size(); ++i) {
        changed[i].lower = static_cast<uint8_t>(changed[i].lower + 1);
        EXPECT_NE(LimitsRevisionHash(changed), base) << "lower bound of entry " << i;
        changed[i].lower = kJudgedValues[i].lower;
        changed[i].upper = static_cast<uint8_t>(changed[i].upper - 1);
        EXPECT_NE(LimitsRevisionHash(changed), base) << "upper bound of entry " << i;
        changed[i].upper = kJudgedValues[i].upper;
    }
    changed[0].judged = !changed[0].judged;
    EXPECT_NE(LimitsRevisionHash(changed), base);
}

}  // namespace
}  // namespace zul
