#pragma once

#include "adjust/ItemContext.h"

namespace zul {

// Item 3. True when all fourteen sensors passed and the EEPROM write
// succeeded; false with the report in the result area.
bool AdjustWhiteLevel(ItemContext& ctx);
bool MeasureWhiteLevel(ItemContext& ctx);
void ReportWhiteLevel(ItemContext& ctx);

}  // namespace zul
