#pragma once

#include "adjust/AdjustmentData.h"
#include "adjust/ResultArea.h"
#include "adjust/RunRecorder.h"
#include "serial/Clock.h"
#include "serial/CommandExchange.h"

namespace zul {

// What an adjustment item works with: the exchange with the unit, the run's
// measurement record, the result area it reports into, the clock of its
// fixed waits, and the run's record (none by default). None of them is owned.
struct ItemContext {
    CommandExchange& link;
    AdjustmentData& data;
    ResultArea& result;
    Clock& clock;
    RunRecorder& record = NoRecords();
};

// The fixed wait after each item-opening command and between the two EEPROM
// commands.
inline constexpr uint32_t kItemWaitMs = 1000;

}  // namespace zul
