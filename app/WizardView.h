#pragma once

#include <string_view>

#include "adjust/MagView.h"

namespace zul {

// The three looks of an item label.
enum class LabelLook {
    Idle,     // regular, window-text colour, enabled
    Current,  // bold, pure blue, enabled; repainted at once
    Done,     // regular, window-text colour, disabled (greyed); repainted at once
};

// Number of item labels, lblAdjItem1 to lblAdjItem7.
inline constexpr int kItemCount = 7;

// The window side the wizard drives: buttons, menu entry, item labels, the mag
// group and its timer. The main window implements it; tests record it. No
// call blocks.
class WizardView {
public:
    virtual ~WizardView() = default;

    virtual void SetStartCaption(std::string_view caption) = 0;  // btnStart
    virtual void SetExitCaption(std::string_view caption) = 0;   // btnExit
    virtual void SetStartEnabled(bool enabled) = 0;
    virtual void SetExitEnabled(bool enabled) = 0;
    virtual void FocusStart() = 0;
    virtual void SetStartMenuEnabled(bool enabled) = 0;  // "&File" > "&Start"

    // item: 1 to 7.
    virtual void SetItemLook(int item, LabelLook look) = 0;

    // The mag group's display routines.
    virtual void ResetMagValues() = 0;   // both numbers empty, both bars 0
    virtual void EnableMagGroup() = 0;   // black title, captions enabled, legend shown
    virtual void DisableMagGroup() = 0;  // grey title, captions disabled, legend hidden
    virtual void HideMagLegend() = 0;    // the eight legend controls only
    virtual void SetMagBarRanges() = 0;  // both bars 0 to 100
    virtual MagView& magView() = 0;      // the live numbers and bars

    virtual void SetClearVisible(bool visible) = 0;  // btnClear
    virtual void FocusClear() = 0;
    virtual void SetTimerActive(bool active) = 0;  // Timer1, the mag poll

    // Closes the main window, which ends the program.
    virtual void CloseWindow() = 0;
};

}  // namespace zul
