#pragma once

#include "adjust/ItemContext.h"

namespace zul {

// Item 4. True when all four sensors passed and the EEPROM write succeeded;
// false with the report in the result area.
bool AdjustBlackLevel(ItemContext& ctx);
bool MeasureBlackLevel(ItemContext& ctx);
void ReportBlackLevel(ItemContext& ctx);

}  // namespace zul
