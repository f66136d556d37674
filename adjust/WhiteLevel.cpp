#include "adjust/WhiteLevel.h"

#include <array>
#include <string_view>

#include "adjust/Eeprom.h"
#include "adjust/ReportRows.h"
#include "adjust/Reports.h"
#include "adjust/SensorTables.h"
#include "adjust/SlotJudgement.h"
#include "serial/Commands.h"

namespace zul {

namespace {

// Register block: the 8-byte answer to 0x05 after 0xC0, into regRaw[0..7].
constexpr int32_t kRegisterBlockLength = 8;

// White result block, the 31-byte answer to 0xE0. Bytes 12-14 carry nothing
// the program uses.
constexpr int32_t kResultBlockLength = 31;
struct BlockPart {
    std::size_t replyFirst;
    std::size_t count;
    bool toAd;  // true: adValue, false: daValue
    std::size_t slotFirst;
};
constexpr std::array<BlockPart, 4> kResultLayout{{
    {0, 12, true, 0},    // A/D slots 0-11
    {15, 12, false, 0},  // D/A slots 0-11
    {27, 2, true, 12},   // A/D slots 12-13
    {29, 2, false, 12},  // D/A slots 12-13
}};

// Register decoding of the white slots; entry index equals the slot. Slots 10
// and 11 have no register and stay 0.
constexpr std::array<RegDecode, 12> kWhiteRegisters{{
    {RegFromBits3To0, 0, 0},
    {RegFromBits5To4, 0, 1},
    {RegFromBits7To6, 0, 2},
    {RegFromBits3To0, 1, 3},
    {RegFromBits5To4, 1, 4},
    {RegFromBits7To6, 1, 5},
    {RegFromBits3To0, 2, 6},
    {RegFromBits3To0, 3, 7},
    {RegFromBits6And4, 4, 8},
    {RegFromBits6And4, 5, 9},
    {RegFromBits6And4, 6, 12},
    {RegFromBits6And4, 7, 13},
}};

constexpr std::string_view kWhiteHeader = "No.  Name        D/A    A/D    Reg";

bool HasRegister(std::size_t slotNumber) {
    return slotNumber != slot::kWhiteMLRed && slotNumber != slot::kWhiteMRRed;
}

// How the register part of one run ended.
enum class RegisterRun { Confirmed, Refused, Failed };

// One run of clearing, 0xA1, the wait, 0xC0, the register block and 0xEE.
// Failed: the report is written.
RegisterRun RunRegisterAdjustment(ItemContext& ctx) {
    AdjustmentData& data = ctx.data;
    data.adValue.fill(0);
    data.daValue.fill(0);
    data.regRaw.fill(0);

    if (!ctx.link.AcknowledgedCommand(cmd::kOpenWhite)) {
        ReportCommError(ctx);
        return RegisterRun::Failed;
    }
    ctx.clock.SleepMs(kItemWaitMs);

    if (!AcceptedOrReported(ctx, ctx.link.AnsweredCommand(cmd::kWhiteResistor),
                            banner::kResisterAdjustmentError)) {
        return RegisterRun::Failed;
    }

    if (!ctx.link.BlockRequest(kRegisterBlockLength, cmd::kEnq)) {
        ReportCommError(ctx);
        return RegisterRun::Failed;
    }
    const auto reply = ctx.link.reply();
    for (std::size_t i = 0; i < kRegisterBlockLength; ++i) data.regRaw[i] = reply[i];

    switch (ctx.link.AnsweredCommand(cmd::kConfirm)) {
        case CommandExchange::kAccepted:
            return RegisterRun::Confirmed;
        case CommandExchange::kRefused:
            return RegisterRun::Refused;
        default:
            ReportCommError(ctx);
            return RegisterRun::Failed;
    }
}

}  // namespace

bool MeasureWhiteLevel(ItemContext& ctx) {
    for (int repetition = 0;; ++repetition) {
        const RegisterRun run = RunRegisterAdjustment(ctx);
        if (run == RegisterRun::Failed) return false;
        if (run == RegisterRun::Confirmed) break;
        if (repetition == kWhiteConfirmRepetitions) {
            return ReportItemError(ctx, banner::kResisterAdjustmentError);
        }
    }

    ctx.link.SetReadTimeout(kWhiteResultTimeoutMs);
    const bool received = ctx.link.BlockRequest(kResultBlockLength, cmd::kWhiteResult);
    ctx.link.SetReadTimeout(kDefaultReadTimeoutMs);
    if (!received) return ReportCommError(ctx);

    const auto reply = ctx.link.reply();
    for (const BlockPart& part : kResultLayout) {
        auto& field = part.toAd ? ctx.data.adValue : ctx.data.daValue;
        for (std::size_t i = 0; i < part.count; ++i) {
            field[part.slotFirst + i] = reply[part.replyFirst + i];
        }
    }
    return true;
}

bool AdjustWhiteLevel(ItemContext& ctx) {
    AdjustmentData& data = ctx.data;
    data.daNgAny = 0;
    data.adNgAny = 0;
    data.daNg.fill(0);
    data.adNg.fill(0);
    if (!MeasureWhiteLevel(ctx)) return false;

    JudgeDaSlots(data, slot::kWhiteFirst, slot::kWhiteCount);
    JudgeAdSlots(data, slot::kWhiteFirst, slot::kWhiteCount);
    // Decoded whatever the verdict; the values show only in the failure table.
    DecodeRegisters(kWhiteRegisters, data);
    const auto white = [](auto& field) {
        return std::span<const uint8_t>(field).subspan(slot::kWhiteFirst, slot::kWhiteCount);
    };
    ctx.record.Measured("da", white(data.daValue));
    ctx.record.Measured("ad", white(data.adValue));
    ctx.record.Measured("registers", std::span(data.regRaw).first(kRegisterBlockLength));
    ctx.record.Measured("reg", white(data.regValue));
    const auto judged = JudgedValuesOf(3);
    RecordSlots(ctx, judged.first(slot::kWhiteCount), data.daValue, data.daNg);
    RecordSlots(ctx, judged.subspan(slot::kWhiteCount), data.adValue, data.adNg);

    if (data.daNgAny != 0 || data.adNgAny != 0) {
        ReportItemError(ctx, banner::kWhiteReferenceError);
        ReportWhiteLevel(ctx);
        return false;
    }
    return EepromWrite(ctx);
}

void ReportWhiteLevel(ItemContext& ctx) {
    const AdjustmentData& data = ctx.data;
    ReportDescriptionsHeader(ctx.result);
    ctx.result.Append(kWhiteHeader);
    int row = 0;
    for (std::size_t s = slot::kWhiteFirst; s < slot::kWhiteFirst + slot::kWhiteCount; ++s) {
        if (data.daNg[s] == 0 && data.adNg[s] == 0) continue;
        ++row;
        const char* name = WhiteSensorName[s - slot::kWhiteFirst];
        ctx.result.Append(HasRegister(s) ? DaAdRegRow(row, name, data.daValue[s], data.adValue[s],
                                                      data.regValue[s])
                                         : DaAdRow(row, name, data.daValue[s], data.adValue[s]));
    }
}

}  // namespace zul
