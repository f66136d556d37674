#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "adjust/ItemContext.h"

namespace zul {

class Wizard;

// One screen of the result area: ClearResult, then these lines in order.
using Screen = std::span<const std::string_view>;

// An item operation: true (1) on success; on failure it has printed its own
// report.
using ItemOperation = bool (*)(ItemContext&);

// What else a click does besides labels, screens and the item.
enum StepAction : uint8_t {
    kNoAction = 0,
    kBeginRun = 1 << 0,         // captions "Next" / "Cancel", menu Start disabled
    kDisableMagGroup = 1 << 1,  // the mag group back to its inactive look
    kExitCaption = 1 << 2,      // caption of btnExit back to "Exit"
    kEndRun = 1 << 3,           // caption "Start", menu Start enabled, labels idle
};

// One row per value of AdjStep: what its click does.
//
// A click of a plain row: give the label doneAtClick its done look, run the
// atClick actions, give currentAtClick its current look and show `shown`.
// Without an item that is all, then onSuccess runs. With an item: lock the
// buttons, run it, and on failure end the run (FailStep). On success give
// doneOnSuccess its done look, run the onSuccess actions, unlock and show
// `success`. Labels are 1 to 7, 0 for none.
//
// For the run's record, the item numbered currentAtClick begins at the click,
// and the item begun last passes when item succeeds, unless itemGoesOn (the
// lever check's first click: the second click ends it).
//
// A row with a handler (the mag steps) runs the handler instead; it returns
// false when it ended the run.
struct WizardRow {
    int16_t step;
    uint8_t doneAtClick = 0;
    uint8_t atClick = kNoAction;
    uint8_t currentAtClick = 0;
    Screen shown{};
    ItemOperation item = nullptr;
    bool itemGoesOn = false;
    uint8_t doneOnSuccess = 0;
    uint8_t onSuccess = kNoAction;
    Screen success{};
    bool (Wizard::*handler)() = nullptr;
};

// The row of step, or nullptr for a step without one (-1).
const WizardRow* FindWizardRow(int16_t step);

// The screens that are not part of a row.
namespace screen {
inline constexpr std::string_view kIdle[] = {
    "ZUL-1x Adjustment Program",
    "Start Calibration --> Click Start",
    "Exit              --> Click Exit",
};
inline constexpr std::string_view kMagTitle = "*** 6.Mag adjustment ***";
// Line 5 of the mag screen, filled with the lower and upper limit.
inline constexpr const char* kMagRangeFormat = "the range between %2dP and %2dP.";
// The limits printed in the mag prompt; the same numbers the peak is judged
// against.
inline constexpr int kMagPromptLower = 46;
inline constexpr int kMagPromptUpper = 70;
inline constexpr std::string_view kMagRemoved[] = {
    kMagTitle,
    "Remove the mag board.",
    "",
    "Click Next",
};
}  // namespace screen

// The button captions.
namespace caption {
inline constexpr std::string_view kStart = "Start";
inline constexpr std::string_view kNext = "Next";
inline constexpr std::string_view kExit = "Exit";
inline constexpr std::string_view kCancel = "Cancel";
}  // namespace caption

}  // namespace zul
