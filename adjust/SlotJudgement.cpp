#include "adjust/SlotJudgement.h"

#include "adjust/SensorTables.h"

namespace zul {

namespace {

template <typename Within>
void Judge(const std::array<uint8_t, kSlotCount>& values, std::array<uint8_t, kSlotCount>& ng,
           uint8_t& ngAny, std::size_t first, std::size_t count, Within within) {
    for (std::size_t s = first; s < first + count && s < kSlotCount; ++s) {
        if (!within(s, values[s])) {
            ng[s] = 1;
            ngAny = 1;
        }
    }
}

}  // namespace

void JudgeAdSlots(AdjustmentData& data, std::size_t first, std::size_t count) {
    Judge(data.adValue, data.adNg, data.adNgAny, first, count, AdWithinLimits);
}

void JudgeDaSlots(AdjustmentData& data, std::size_t first, std::size_t count) {
    Judge(data.daValue, data.daNg, data.daNgAny, first, count, DaWithinLimits);
}

void RecordSlots(ItemContext& ctx, std::span<const JudgedValue> values,
                 const std::array<uint8_t, kSlotCount>& readings,
                 const std::array<uint8_t, kSlotCount>& ng) {
    for (const JudgedValue& value : values) {
        const auto s = static_cast<std::size_t>(value.slot);
        if (s < kSlotCount) ctx.record.Judged(value, readings[s], ng[s] == 0);
    }
}

}  // namespace zul
