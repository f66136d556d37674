#pragma once

#include <cstddef>

#include "adjust/AdjustmentData.h"

namespace zul {

// Judges the A/D readings of slots first .. first + count - 1 against the A/D
// limit tables: sets adNg of each slot outside its limits, and adNgAny when
// any is.
void JudgeAdSlots(AdjustmentData& data, std::size_t first, std::size_t count);

// The same for the D/A settings against the D/A limit tables (daNg, daNgAny).
void JudgeDaSlots(AdjustmentData& data, std::size_t first, std::size_t count);

}  // namespace zul
