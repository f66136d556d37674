#pragma once

#include "adjust/ItemContext.h"

namespace zul {

// Item 1: 0xB6, 1000 ms, 0xB4. True when both were acknowledged; false with
// the erase banner or "Communication error" in the result area.
bool EepromErase(ItemContext& ctx);

// The close of items 3 to 7: 0xB0, 1000 ms, 0xB4. True when both were
// acknowledged; false with the write banner or "Communication error".
bool EepromWrite(ItemContext& ctx);

}  // namespace zul
