#include "adjust/MotorSpeed.h"

#include "adjust/Eeprom.h"
#include "adjust/JudgedValues.h"
#include "adjust/ReportRows.h"
#include "adjust/Reports.h"
#include "adjust/SensorTables.h"
#include "serial/Commands.h"

namespace zul {

namespace {

// 0xA6 is not acknowledged: its single answer byte is the speed.
constexpr int32_t kSpeedBlockLength = 1;

}  // namespace

bool MeasureMotorSpeed(ItemContext& ctx, uint8_t& speed) {
    ctx.link.SetReadTimeout(kMotorSpeedTimeoutMs);
    const bool received = ctx.link.BlockRequest(kSpeedBlockLength, cmd::kMotorSpeed);
    ctx.link.SetReadTimeout(kDefaultReadTimeoutMs);
    if (!received) return ReportCommError(ctx);
    speed = ctx.link.reply()[0];
    return true;
}

bool CheckMotorSpeed(ItemContext& ctx) {
    uint8_t speed = 0;
    if (!MeasureMotorSpeed(ctx, speed)) return false;
    ctx.record.Measured("speed", speed);
    const bool pass = WithinLimits(speed, MotorSpeedLowerLimit, MotorSpeedUpperLimit);
    ctx.record.Judged(JudgedValuesOf(7).front(), speed, pass);
    if (!pass) {
        ReportItemError(ctx, banner::kMoterSpeedError);
        ReportMotorSpeed(ctx, speed);
        return false;
    }
    return EepromWrite(ctx);
}

void ReportMotorSpeed(ItemContext& ctx, uint8_t speed) {
    ReportDescriptionsHeader(ctx.result);
    ctx.result.Append(MotorSpeedLine(speed));
}

}  // namespace zul
