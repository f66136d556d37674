#include "adjust/NonPaper.h"

#include <array>
#include <optional>
#include <string_view>

#include "adjust/Eeprom.h"
#include "adjust/ReportRows.h"
#include "adjust/Reports.h"
#include "adjust/SensorTables.h"
#include "adjust/SlotJudgement.h"
#include "serial/Commands.h"

namespace zul {

namespace {

// Register block: the 4-byte answer to the first 0x05, into regRaw[8..11].
constexpr int32_t kRegisterBlockLength = 4;
constexpr std::size_t kRegRawFirst = 8;

// Result block: the 12-byte answer to the second 0x05. Bytes 0-9 go to slots
// 18-27; bytes 10 and 11 are used by no item.
constexpr int32_t kResultBlockLength = 12;

// The regValue entry of each row; rows 6 and 7 (M LRed, M RRed) have none.
constexpr std::array<std::optional<std::size_t>, slot::kNonPaperCount> kRowRegEntry{
    14, 15, 16, 17, 18, 19, std::nullopt, std::nullopt, 20, 21};

constexpr std::array<RegDecode, 8> kNonPaperRegisters{{
    {RegFromBits3To0, 8, 14},
    {RegFromBits5To4, 8, 15},
    {RegFromBits7To6, 8, 16},
    {RegFromBits3To0, 9, 17},
    {RegFromBits5To4, 9, 18},
    {RegFromBits7To6, 9, 19},
    {RegFromBits6And4, 10, 20},
    {RegFromBits6And4, 11, 21},
}};

// The regValue entries the decoding fills, 14 to 21.
constexpr std::size_t kRegEntryFirst = 14;
constexpr std::size_t kRegEntries = 8;

constexpr std::string_view kNonPaperHeader = "No.  Name        A/D    Reg";

}  // namespace

bool MeasureNonPaper(ItemContext& ctx) {
    AdjustmentData& data = ctx.data;
    data.adValue.fill(0);
    data.daValue.fill(0);
    data.regRaw.fill(0);

    if (!ctx.link.AcknowledgedCommand(cmd::kOpenNonPaper)) return ReportCommError(ctx);
    ctx.clock.SleepMs(kItemWaitMs);

    ctx.link.SetReadTimeout(kNonPaperResistorTimeoutMs);
    const uint8_t resistor = ctx.link.AnsweredCommand(cmd::kNonPaperResistor);
    ctx.link.SetReadTimeout(kDefaultReadTimeoutMs);
    if (!AcceptedOrReported(ctx, resistor, banner::kResisterAdjustmentError)) return false;

    if (!ctx.link.BlockRequest(kRegisterBlockLength, cmd::kEnq)) return ReportCommError(ctx);
    auto reply = ctx.link.reply();
    for (std::size_t i = 0; i < kRegisterBlockLength; ++i) data.regRaw[kRegRawFirst + i] = reply[i];

    // Unlike the white level, a refused confirmation is not repeated.
    if (!AcceptedOrReported(ctx, ctx.link.AnsweredCommand(cmd::kConfirm),
                            banner::kResisterAdjustmentError)) {
        return false;
    }

    if (!ctx.link.BlockRequest(kResultBlockLength, cmd::kEnq)) return ReportCommError(ctx);
    reply = ctx.link.reply();
    for (std::size_t i = 0; i < slot::kNonPaperCount; ++i) {
        data.adValue[slot::kNonPaperFirst + i] = reply[i];
    }
    return true;
}

bool AdjustNonPaper(ItemContext& ctx) {
    AdjustmentData& data = ctx.data;
    data.adNgAny = 0;
    data.adNg.fill(0);
    if (!MeasureNonPaper(ctx)) return false;

    JudgeAdSlots(data, slot::kNonPaperFirst, slot::kNonPaperCount);
    // Decoded whatever the verdict; the values show only in the failure table.
    DecodeRegisters(kNonPaperRegisters, data);
    ctx.record.Measured(
        "ad", std::span(data.adValue).subspan(slot::kNonPaperFirst, slot::kNonPaperCount));
    ctx.record.Measured("registers",
                        std::span(data.regRaw).subspan(kRegRawFirst, kRegisterBlockLength));
    ctx.record.Measured("reg", std::span(data.regValue).subspan(kRegEntryFirst, kRegEntries));
    RecordSlots(ctx, JudgedValuesOf(5), data.adValue, data.adNg);

    if (data.adNgAny != 0) {
        ReportItemError(ctx, banner::kNonPaperError);
        ReportNonPaper(ctx);
        return false;
    }
    return EepromWrite(ctx);
}

void ReportNonPaper(ItemContext& ctx) {
    const AdjustmentData& data = ctx.data;
    ReportDescriptionsHeader(ctx.result);
    ctx.result.Append(kNonPaperHeader);
    int printed = 0;
    for (std::size_t row = 0; row < slot::kNonPaperCount; ++row) {
        const std::size_t s = slot::kNonPaperFirst + row;
        if (data.adNg[s] == 0) continue;
        ++printed;
        const char* name = NonPaperSensorName[row];
        const auto& entry = kRowRegEntry[row];
        ctx.result.Append(entry ? AdRegRow(printed, name, data.adValue[s], data.regValue[*entry])
                                : AdRow(printed, name, data.adValue[s]));
    }
}

}  // namespace zul
