#pragma once

#include <cstdint>

#include "adjust/ItemContext.h"

namespace zul {

inline constexpr uint8_t MotorSpeedUpperLimit = 121;
inline constexpr uint8_t MotorSpeedLowerLimit = 89;

// Item 7. True when the speed lay within 89 to 121 and the EEPROM write
// succeeded; false with the report in the result area.
bool CheckMotorSpeed(ItemContext& ctx);

// 0xA6 for one byte with the time-out raised to 5000 ms (2000 ms again
// afterwards). False after "Communication error".
bool MeasureMotorSpeed(ItemContext& ctx, uint8_t& speed);

void ReportMotorSpeed(ItemContext& ctx, uint8_t speed);

}  // namespace zul
