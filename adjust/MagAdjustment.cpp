#include "adjust/MagAdjustment.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "adjust/Eeprom.h"
#include "adjust/JudgedValues.h"
#include "adjust/ReportRows.h"
#include "adjust/Reports.h"
#include "adjust/SensorTables.h"
#include "serial/Commands.h"

namespace zul {

namespace {

// Every mag exchange returns the peak sample and the A/D sample.
constexpr int32_t kMagBlockLength = 2;

// The bars' range; a progress bar ignores positions outside it, so a larger
// byte is shown as a full bar (the label still shows the number).
constexpr int kBarMinimum = 0;
constexpr int kBarMaximum = 100;

// "%3d" into a cleared buffer.
std::string LabelText(uint8_t value) {
    std::array<char, 16> buffer{};
    std::snprintf(buffer.data(), buffer.size(), "%3d", static_cast<int>(value));
    return std::string(buffer.data());
}

int BarPosition(uint8_t value) {
    return std::clamp<int>(value, kBarMinimum, kBarMaximum);
}

}  // namespace

bool StartMagReading(ItemContext& ctx) {
    ctx.data.adValue.fill(0);
    if (!ctx.link.AcknowledgedCommand(cmd::kOpenMag)) return ReportCommError(ctx);
    ctx.clock.SleepMs(kItemWaitMs);
    return PollMagReading(ctx);
}

bool PollMagReading(ItemContext& ctx) {
    if (!ctx.link.BlockRequest(kMagBlockLength, cmd::kEnq)) return ReportCommError(ctx);
    const auto reply = ctx.link.reply();
    ctx.data.adValue[slot::kMagPeak] = reply[0];
    ctx.data.adValue[slot::kMagAd] = reply[1];
    return true;
}

void ShowMagLabels(ItemContext& ctx, MagView& view) {
    view.SetAdText(LabelText(ctx.data.adValue[slot::kMagAd]));
    view.SetPeakText(LabelText(ctx.data.magPeakHeld));
}

void ShowMagBars(ItemContext& ctx, MagView& view) {
    view.SetAdBar(BarPosition(ctx.data.adValue[slot::kMagAd]));
    view.SetPeakBar(BarPosition(ctx.data.magPeakHeld));
}

bool StartMag(ItemContext& ctx, MagView& view) {
    if (!StartMagReading(ctx)) return false;
    ctx.data.magPeakHeld = ctx.data.adValue[slot::kMagPeak];
    ShowMagLabels(ctx, view);
    ShowMagBars(ctx, view);
    return true;
}

bool UpdateMag(ItemContext& ctx, MagView& view) {
    if (!PollMagReading(ctx)) return false;
    ctx.data.magPeakHeld = std::max(ctx.data.magPeakHeld, ctx.data.adValue[slot::kMagPeak]);
    ShowMagLabels(ctx, view);
    ShowMagBars(ctx, view);
    return true;
}

void ClearMagPeak(ItemContext& ctx, MagView& view) {
    ctx.data.magPeakHeld = 0;
    view.SetPeakText(LabelText(0));
    view.SetPeakBar(BarPosition(0));
}

bool AdjustMag(ItemContext& ctx) {
    // The last peak sample the unit reported is judged, never the held peak.
    const uint8_t peak = ctx.data.adValue[slot::kMagPeak];
    ctx.record.Measured("peak", peak);
    ctx.record.Measured("ad", ctx.data.adValue[slot::kMagAd]);
    ctx.record.Measured("peak_held", ctx.data.magPeakHeld);
    const bool pass = WithinLimits(peak, MagLowerLimit, MagUpperLimit);
    for (const JudgedValue& value : JudgedValuesOf(6)) {
        const uint8_t reading = ctx.data.adValue[static_cast<std::size_t>(value.slot)];
        ctx.record.Judged(value, reading, WithinLimits(reading, value.lower, value.upper));
    }
    if (!pass) {
        ReportItemError(ctx, banner::kMagAdError);
        ReportMag(ctx);
        return false;
    }
    return EepromWrite(ctx);
}

void ReportMag(ItemContext& ctx) {
    ReportDescriptionsHeader(ctx.result);
    ctx.result.Append(MagAdLine(ctx.data.adValue[slot::kMagPeak]));
}

}  // namespace zul
