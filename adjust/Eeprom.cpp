#include "adjust/Eeprom.h"

#include "adjust/Reports.h"
#include "serial/Commands.h"

namespace zul {

namespace {

// Both EEPROM sequences: the first command, the wait, then 0xB4.
struct EepromSequence {
    uint8_t firstCommand;
    std::string_view bannerText;
};

constexpr EepromSequence kErase{cmd::kEepromErase, banner::kCannotEraseEeprom};
constexpr EepromSequence kWrite{cmd::kEepromWrite, banner::kEepromWritingError};

// Sends command; true on ACK, else the matching report and false.
bool SendStep(ItemContext& ctx, uint8_t command, std::string_view bannerText) {
    return AcceptedOrReported(ctx, ctx.link.AnsweredCommand(command), bannerText);
}

bool RunSequence(ItemContext& ctx, const EepromSequence& sequence) {
    if (!SendStep(ctx, sequence.firstCommand, sequence.bannerText)) return false;
    ctx.clock.SleepMs(kItemWaitMs);
    return SendStep(ctx, cmd::kEepromExecute, sequence.bannerText);
}

}  // namespace

bool EepromErase(ItemContext& ctx) {
    return RunSequence(ctx, kErase);
}

bool EepromWrite(ItemContext& ctx) {
    const bool written = RunSequence(ctx, kWrite);
    ctx.record.EepromWrite(written);
    return written;
}

}  // namespace zul
