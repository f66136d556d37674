#include "adjust/BlackLevel.h"

#include <string_view>

#include "adjust/Eeprom.h"
#include "adjust/ReportRows.h"
#include "adjust/Reports.h"
#include "adjust/SensorTables.h"
#include "adjust/SlotJudgement.h"
#include "serial/Commands.h"

namespace zul {

namespace {

// Black result block: the 4-byte answer to 0x05 after 0xA2, into slots 14-17.
constexpr int32_t kBlackBlockLength = slot::kBlackCount;

constexpr std::string_view kBlackHeader = "No.  Name        A/D";

}  // namespace

bool MeasureBlackLevel(ItemContext& ctx) {
    ctx.data.adValue.fill(0);
    if (!ctx.link.AcknowledgedCommand(cmd::kOpenBlack)) return ReportCommError(ctx);
    ctx.clock.SleepMs(kItemWaitMs);
    if (!ctx.link.BlockRequest(kBlackBlockLength, cmd::kEnq)) return ReportCommError(ctx);
    const auto reply = ctx.link.reply();
    for (std::size_t i = 0; i < slot::kBlackCount; ++i) {
        ctx.data.adValue[slot::kBlackFirst + i] = reply[i];
    }
    return true;
}

bool AdjustBlackLevel(ItemContext& ctx) {
    AdjustmentData& data = ctx.data;
    data.adNgAny = 0;
    data.adNg.fill(0);
    if (!MeasureBlackLevel(ctx)) return false;
    ctx.record.Measured("ad",
                        std::span(data.adValue).subspan(slot::kBlackFirst, slot::kBlackCount));

    JudgeAdSlots(data, slot::kBlackFirst, slot::kBlackCount);
    RecordSlots(ctx, JudgedValuesOf(4), data.adValue, data.adNg);
    if (data.adNgAny != 0) {
        ReportItemError(ctx, banner::kBlackReferenceError);
        ReportBlackLevel(ctx);
        return false;
    }
    return EepromWrite(ctx);
}

void ReportBlackLevel(ItemContext& ctx) {
    const AdjustmentData& data = ctx.data;
    ReportDescriptionsHeader(ctx.result);
    ctx.result.Append(kBlackHeader);
    int row = 0;
    for (std::size_t s = slot::kBlackFirst; s < slot::kBlackFirst + slot::kBlackCount; ++s) {
        if (data.adNg[s] == 0) continue;
        ctx.result.Append(AdRow(++row, BlackSensorName[s - slot::kBlackFirst], data.adValue[s]));
    }
}

}  // namespace zul
