#include "adjust/LeverCheck.h"

#include <array>
#include <string_view>

#include "adjust/JudgedValues.h"
#include "adjust/Reports.h"
#include "serial/Commands.h"

namespace zul {

namespace {

// The unit answers 0x05 three times in a row after 0xA7; only the last block
// carries the readings, in bytes 8 (back), 9 (left) and 10 (right).
constexpr std::array<int32_t, 3> kLeverBlockLengths{12, 16, 30};
constexpr std::size_t kLeverReadingOffset = 8;

constexpr std::array<std::string_view, lever::kCount> kCannotActivate{
    "Back lever sensor cannot be activated.", "Left lever sensor cannot be activated.",
    "Right lever sensor cannot be activated."};
constexpr std::array<std::string_view, lever::kCount> kCannotDeactivate{
    "Back lever sensor cannot be deactivated.", "Left lever sensor cannot be deactivated.",
    "Right lever sensor cannot be deactivated."};

bool AnyFlag(const std::array<uint8_t, lever::kCount>& flags) {
    for (uint8_t flag : flags) {
        if (flag != 0) return true;
    }
    return false;
}

void AppendFlagged(ItemContext& ctx, const std::array<uint8_t, lever::kCount>& flags,
                   const std::array<std::string_view, lever::kCount>& lines) {
    for (std::size_t i = 0; i < lever::kCount; ++i) {
        if (flags[i] != 0) ctx.result.Append(lines[i]);
    }
}

}  // namespace

bool LeverActivated(std::size_t leverIndex, uint8_t reading) {
    if (leverIndex >= lever::kCount) return false;
    if (leverIndex == lever::kBack) return reading == LeverUpLimit[lever::kBack];
    return reading >= LeverUpLimit[leverIndex];
}

bool LeverDeactivated(std::size_t leverIndex, uint8_t reading) {
    if (leverIndex >= lever::kCount) return false;
    if (leverIndex == lever::kBack) return reading == LeverDownLimit[lever::kBack];
    return reading < LeverDownLimit[leverIndex];
}

bool ReadLeverSensors(ItemContext& ctx) {
    ctx.data.leverValue.fill(0);
    if (!ctx.link.AcknowledgedCommand(cmd::kOpenLever)) return ReportCommError(ctx);
    ctx.clock.SleepMs(kItemWaitMs);
    for (int32_t length : kLeverBlockLengths) {
        if (!ctx.link.BlockRequest(length, cmd::kEnq)) return ReportCommError(ctx);
    }
    const auto reply = ctx.link.reply();
    for (std::size_t i = 0; i < lever::kCount; ++i) {
        ctx.data.leverValue[i] = reply[kLeverReadingOffset + i];
    }
    return true;
}

bool CheckLeverUp(ItemContext& ctx) {
    AdjustmentData& data = ctx.data;
    data.leverNg = 0;
    data.leverUpNg.fill(0);
    if (!ReadLeverSensors(ctx)) return false;
    ctx.record.Measured("paper_in", data.leverValue);
    for (std::size_t i = 0; i < lever::kCount; ++i) {
        if (!LeverActivated(i, data.leverValue[i])) {
            data.leverUpNg[i] = 1;
            data.leverNg = 1;
        }
        ctx.record.Judged(JudgedValuesOf(2)[i], data.leverValue[i], data.leverUpNg[i] == 0);
    }
    return true;
}

bool CheckLeverDown(ItemContext& ctx) {
    AdjustmentData& data = ctx.data;
    data.leverDownNg.fill(0);  // leverNg still holds the faults of the up step
    if (!ReadLeverSensors(ctx)) return false;
    ctx.record.Measured("paper_out", data.leverValue);
    for (std::size_t i = 0; i < lever::kCount; ++i) {
        if (!LeverDeactivated(i, data.leverValue[i])) {
            data.leverDownNg[i] = 1;
            data.leverNg = 1;
        }
        ctx.record.Judged(JudgedValuesOf(2)[lever::kCount + i], data.leverValue[i],
                          data.leverDownNg[i] == 0);
    }
    if (data.leverNg == 0) return true;
    ReportItemError(ctx, banner::kAccepterLeverError);
    ReportLeverUpFaults(ctx);
    ReportLeverDownFaults(ctx);
    return false;
}

void ReportLeverUpFaults(ItemContext& ctx) {
    if (AnyFlag(ctx.data.leverUpNg)) ReportDescriptionsHeader(ctx.result);
    AppendFlagged(ctx, ctx.data.leverUpNg, kCannotActivate);
}

void ReportLeverDownFaults(ItemContext& ctx) {
    // The descriptions pair is written once per report: here only when the up
    // step found nothing.
    if (!AnyFlag(ctx.data.leverUpNg)) ReportDescriptionsHeader(ctx.result);
    AppendFlagged(ctx, ctx.data.leverDownNg, kCannotDeactivate);
}

}  // namespace zul
