#pragma once

#include "adjust/ItemContext.h"

namespace zul {

// The unit may refuse 0xEE, the confirmation after the register bytes; the
// white sequence then starts again from 0xA1. Each run lasts more than a
// second and the operator cannot interrupt it, so the repetitions are
// bounded: after this many repetitions (one more run of the sequence in all)
// a further refusal fails the item with the resister banner.
inline constexpr int kWhiteConfirmRepetitions = 3;

// Item 3. True when all fourteen sensors passed and the EEPROM write
// succeeded; false with the report in the result area.
bool AdjustWhiteLevel(ItemContext& ctx);

// 0xA1, 1000 ms, 0xC0, the 8 register bytes, 0xEE (a refusal repeats these),
// then the 31-byte result block of 0xE0 with the read time-out raised to
// 10000 ms (2000 ms again afterwards). True when the values are in the
// record; false with the report written.
bool MeasureWhiteLevel(ItemContext& ctx);

// Appends the description table of the failing slots 0-13.
void ReportWhiteLevel(ItemContext& ctx);

}  // namespace zul
