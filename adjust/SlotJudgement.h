#pragma once

#include <cstddef>
#include <span>

#include "adjust/AdjustmentData.h"
#include "adjust/ItemContext.h"
#include "adjust/JudgedValues.h"

namespace zul {

// Judges the A/D readings of slots first .. first + count - 1 against the A/D
// limit tables: sets adNg of each slot outside its limits, and adNgAny when
// any is.
void JudgeAdSlots(AdjustmentData& data, std::size_t first, std::size_t count);

// The same for the D/A settings against the D/A limit tables (daNg, daNgAny).
void JudgeDaSlots(AdjustmentData& data, std::size_t first, std::size_t count);

// Tells the run's record the verdict on each slot of values: the reading of
// the slot of every entry, passed where its flag in ng is 0.
void RecordSlots(ItemContext& ctx, std::span<const JudgedValue> values,
                 const std::array<uint8_t, kSlotCount>& readings,
                 const std::array<uint8_t, kSlotCount>& ng);

}  // namespace zul
