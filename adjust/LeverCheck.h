#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "adjust/ItemContext.h"

namespace zul {

// Lever entries, in the same order in every lever field and table.
namespace lever {
inline constexpr std::size_t kBack = 0;
inline constexpr std::size_t kLeft = 1;
inline constexpr std::size_t kRight = 2;
inline constexpr std::size_t kCount = 3;
}  // namespace lever

// Back is judged by its exact value, left and right against the threshold.
inline constexpr std::array<uint8_t, lever::kCount> LeverUpLimit{0x01, 0x80, 0x80};
inline constexpr std::array<uint8_t, lever::kCount> LeverDownLimit{0x00, 0x80, 0x80};

// With paper in place the back lever must read exactly 1, left and right at
// least 128. True when the reading of leverIndex passes.
bool LeverActivated(std::size_t leverIndex, uint8_t reading);

// Without paper the back lever must read exactly 0, left and right below 128.
// True when the reading of leverIndex passes.
bool LeverDeactivated(std::size_t leverIndex, uint8_t reading);

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
