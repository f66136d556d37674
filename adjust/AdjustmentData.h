#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zul {

// Number of sensor slots: 0-13 white, 14-17 black, 18-27 non-paper, 28-29 mag.
inline constexpr std::size_t kSlotCount = 30;

// The measurement record of one run, held by the main window. Every item
// clears the entries it uses before it measures.
struct AdjustmentData {
    // Receive buffer of the exchanges; covers the longest reply (31 bytes).
    std::array<uint8_t, 32> reply{};

    // Lever sensor check; entry 0 back, 1 left, 2 right.
    std::array<uint8_t, 3> leverValue{};
    uint8_t leverNg = 0;
    std::array<uint8_t, 3> leverUpNg{};
    std::array<uint8_t, 3> leverDownNg{};

    // Per-slot readings, settings and verdicts.
    std::array<uint8_t, kSlotCount> adValue{};
    std::array<uint8_t, kSlotCount> daValue{};
    std::array<uint8_t, kSlotCount> regRaw{};
    std::array<uint8_t, kSlotCount> regValue{};
    std::array<uint8_t, kSlotCount> adNg{};
    std::array<uint8_t, kSlotCount> daNg{};
    uint8_t adNgAny = 0;
    uint8_t daNgAny = 0;

    // The mag peak shown on screen (a running maximum); shown, never judged.
    uint8_t magPeakHeld = 0;
};

}  // namespace zul
