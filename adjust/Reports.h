#pragma once

#include <cstdint>
#include <string_view>

#include "adjust/ItemContext.h"
#include "adjust/ResultArea.h"

namespace zul {

// Banners of the failing items, framed by "XXXXXX".
namespace banner {
inline constexpr std::string_view kCannotEraseEeprom = "XXXXXX    Cannot erase EEPROM !    XXXXXX";
inline constexpr std::string_view kEepromWritingError = "XXXXXX    EEPROM writing error    XXXXXX";
inline constexpr std::string_view kAccepterLeverError =
    "XXXXXX    Accepter lever error !    XXXXXX";
inline constexpr std::string_view kResisterAdjustmentError =
    "XXXXXX    Resister adjustment error !    XXXXXX";
inline constexpr std::string_view kWhiteReferenceError =
    "XXXXXX  Adjustment error of white reference paper !  XXXXXX";
inline constexpr std::string_view kBlackReferenceError =
    "XXXXXX  Adjustment error of black reference paper !  XXXXXX";
inline constexpr std::string_view kNonPaperError =
    "XXXXXX  Adjustment error of non paper !  XXXXXX";
inline constexpr std::string_view kMagAdError = "XXXXXX    MAG A/D adjustment error !    XXXXXX";
inline constexpr std::string_view kMoterSpeedError = "XXXXXX    Moter speed error !    XXXXXX";
}  // namespace banner

// First line of every description block, after an empty line.
inline constexpr std::string_view kDescriptionsLine =
    "****** Descriptions *******************************";

inline constexpr std::string_view kCommunicationError = "Communication error";
inline constexpr std::string_view kClickCancel = "Click Cancel";

// Keeps only the title line, then appends an empty line and
// "Communication error". Returns false.
bool ReportCommError(ResultArea& result);

// Keeps only the title line, then appends the banner. Returns false.
bool ReportItemError(ResultArea& result, std::string_view bannerText);

// The same for an item, which also tells the run's record the cause.
bool ReportCommError(ItemContext& ctx);
bool ReportItemError(ItemContext& ctx, std::string_view bannerText);

// The outcome of an answered command (CommandExchange::AnsweredCommand):
// true on ACK; otherwise the banner for a refusal, or the communication
// report (each told to the run's record), and false.
bool AcceptedOrReported(ItemContext& ctx, uint8_t outcome, std::string_view bannerText);

// Appends an empty line and the description line that opens a description
// block.
void ReportDescriptionsHeader(ResultArea& result);

// Appends an empty line and "Click Cancel".
void ReportClickCancel(ResultArea& result);

}  // namespace zul
