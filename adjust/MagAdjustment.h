#pragma once

#include <cstdint>

#include "adjust/ItemContext.h"
#include "adjust/MagView.h"

namespace zul {

inline constexpr uint8_t MagUpperLimit = 70;
inline constexpr uint8_t MagLowerLimit = 46;

// Interval of Timer1, the live display's poll.
inline constexpr int kMagPollIntervalMs = 500;

// Start exchange: clears adValue, 0xA4, 1000 ms, 0x05 for 2 bytes into slots
// 28 (peak sample) and 29 (A/D sample). False after "Communication error".
bool StartMagReading(ItemContext& ctx);

// Poll exchange: 0x05 for 2 bytes into slots 28 and 29. False after
// "Communication error".
bool PollMagReading(ItemContext& ctx);

// lblMagAD shows the A/D sample, lblMagPeak shows magPeakHeld, each "%3d".
void ShowMagLabels(ItemContext& ctx, MagView& view);

// Bars of the A/D sample and of magPeakHeld, held within 0 to 100.
void ShowMagBars(ItemContext& ctx, MagView& view);

// StartMagReading; on success magPeakHeld := peak sample, then shows it.
bool StartMag(ItemContext& ctx, MagView& view);

// PollMagReading; on success raises magPeakHeld to the peak sample, then
// shows it.
bool UpdateMag(ItemContext& ctx, MagView& view);

// Clear's first half: magPeakHeld := 0, "  0" and an empty peak bar.
void ClearMagPeak(ItemContext& ctx, MagView& view);

// The verdict on the last peak sample (never the held peak): the banner and
// ReportMag when it lies outside 46 to 70, else EepromWrite.
bool AdjustMag(ItemContext& ctx);
void ReportMag(ItemContext& ctx);

}  // namespace zul
