#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "adjust/ItemContext.h"
#include "app/UnitIdSource.h"
#include "app/WizardSteps.h"
#include "app/WizardView.h"

namespace zul {

// The adjustment wizard: turns the operator's clicks into the sequence of the
// seven items. Holds the step counter AdjStep; every click runs one row of the
// step table to its end, blocking (nothing pumps events meanwhile).
class Wizard {
public:
    // view and ctx are not owned and must outlive the wizard. AdjStep starts
    // at 0 (idle).
    Wizard(WizardView& view, ItemContext& ctx) : view_(view), ctx_(ctx) {}

    // Asks source (not owned; nullptr for none) for the unit's serial number
    // at each Start, before anything else happens.
    void SetUnitIdSource(UnitIdSource* source) { unitIds_ = source; }

    // 0 idle, 1 to 11 the step whose click comes next, -1 failed.
    int16_t AdjStep() const { return adjStep_; }

    // btnStart: one step. Does nothing in the failed state.
    void StartClick();
    // btnExit: Exit (closes the window) at 0 and 11, Cancel elsewhere.
    void ExitClick();
    // "&File" > "&Start": item 1, as Start while idle; ignored otherwise.
    void StartMenuClick();
    // btnClear: restarts the mag reading. Only during the mag live display.
    void ClearClick();
    // Timer1: one poll of the mag reading. Only during the mag live display.
    void TimerTick();

    // Item 1. True when the EEPROM was erased; false after FailStep.
    bool RunEepromErasing();

    // Ends the run in failure: "Click Cancel", Cancel enabled, AdjStep -1.
    void FailStep();

    // The window is closing: a run still going on ends in its record.
    void WindowClosing();

    // The two mag rows (steps 8 and 9); false when they ended the run.
    bool RunMagStart();
    bool RunMagEnd();

    // The eight lines of the mag screen, its range line filled with lower
    // and upper.
    static std::vector<std::string> MagScreen(int lower = screen::kMagPromptLower,
                                              int upper = screen::kMagPromptUpper);

private:
    bool RunRow(const WizardRow& row);
    void RunActions(uint8_t actions);
    void Show(Screen lines);
    void Lock();
    void Unlock();
    void LabelLook(uint8_t item, zul::LabelLook look);
    // A failure of the mag live display or of its verdict.
    void FailMag();

    // The run's record: the item a click runs begins (unless it is running),
    // passes, and the run ends.
    void BeginItem(int number);
    void ItemPassed(int number);
    void EndRun(RunOutcome outcome);

    WizardView& view_;
    ItemContext& ctx_;
    UnitIdSource* unitIds_ = nullptr;
    std::string unitId_;  // of the run that begins
    int16_t adjStep_ = 0;
    bool runOpen_ = false;  // a run is going on and has no end in its record yet
    int openItem_ = 0;      // the item whose record is open, 0 for none
    uint32_t exchangesAtStart_ = 0;
    uint32_t retriesAtStart_ = 0;
};

// ClearResult, then the three lines of the idle screen.
void ShowIdleScreen(ResultArea& result);

// The step after one whose click did not fail: 11 goes to 0, -1 stays, every
// other value goes up by one.
int16_t NextStep(int16_t step);

}  // namespace zul
