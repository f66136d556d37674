#pragma once

#include "adjust/ItemContext.h"

namespace zul {

// Item 2, first step (paper inserted): reads the levers and records the
// faults for CheckLeverDown. False only when the exchange failed.
bool CheckLeverUp(ItemContext& ctx);

// Item 2, second step (paper removed): true when the exchange worked and
// neither step found a fault; false with the report otherwise.
bool CheckLeverDown(ItemContext& ctx);

// 0xA7, 1000 ms, then 0x05 for 12, 16 and 30 bytes; the readings are bytes 8,
// 9, 10 of the last. False after reporting a communication error.
bool ReadLeverSensors(ItemContext& ctx);

void ReportLeverUpFaults(ItemContext& ctx);
void ReportLeverDownFaults(ItemContext& ctx);

}  // namespace zul
