#pragma once

#include "adjust/ItemContext.h"

namespace zul {

// Item 5. True when all ten sensors passed and the EEPROM write succeeded;
// false with the report in the result area.
bool AdjustNonPaper(ItemContext& ctx);
bool MeasureNonPaper(ItemContext& ctx);
void ReportNonPaper(ItemContext& ctx);

}  // namespace zul
