#include "app/Wizard.h"

#include <cstdio>

#include "adjust/MagAdjustment.h"
#include "adjust/Reports.h"

namespace zul {

namespace {

constexpr std::string_view kMagLinesBefore[] = {
    screen::kMagTitle,
    " MAG A/D Peak Adjustment",
    "",
    "Find the position where both \"Peak Value\" and \"A/D\" enter",
};
constexpr std::string_view kMagLinesAfter[] = {
    "Hold the mag board in the position and click Next",
    "",
    "To clear the mag peak value, click Clear",
};

// The item titles, as the item labels show them.
constexpr std::string_view kItemTitles[kItemCount] = {
    "Eeprom Erasing",         "Lever sensor check",       "White level adjustment",
    "Black level adjustment", "Without paper adjustment", "Mag adjustment",
    "Motor speed check"};

}  // namespace

void ShowIdleScreen(ResultArea& result) {
    result.Clear();
    for (std::string_view line : screen::kIdle) result.Append(line);
}

int16_t NextStep(int16_t step) {
    if (step == 11) return 0;
    if (step < 0) return step;
    return static_cast<int16_t>(step + 1);
}

std::vector<std::string> Wizard::MagScreen(int lower, int upper) {
    std::vector<std::string> lines(std::begin(kMagLinesBefore), std::end(kMagLinesBefore));
    char range[64];
    std::snprintf(range, sizeof range, screen::kMagRangeFormat, lower, upper);
    lines.emplace_back(range);
    lines.insert(lines.end(), std::begin(kMagLinesAfter), std::end(kMagLinesAfter));
    return lines;
}

void Wizard::StartClick() {
    const WizardRow* row = FindWizardRow(adjStep_);
    if (row == nullptr) return;  // failed: only Cancel leads on
    const bool ok = row->handler != nullptr ? (this->*row->handler)() : RunRow(*row);
    if (ok) adjStep_ = NextStep(adjStep_);
}

void Wizard::StartMenuClick() {
    // The entry is enabled only while idle; a click that slips through at
    // another step must not restart the run in the middle.
    if (adjStep_ != 0) return;
    if (RunEepromErasing()) adjStep_ = NextStep(adjStep_);
}

bool Wizard::RunEepromErasing() {
    const WizardRow* row = FindWizardRow(0);
    return RunRow(*row);
}

bool Wizard::RunRow(const WizardRow& row) {
    if ((row.atClick & kBeginRun) != 0) {
        // The serial number comes first: a Cancel leaves the idle screen as
        // it was, with nothing sent.
        unitId_.clear();
        if (unitIds_ != nullptr) {
            std::optional<std::string> id = unitIds_->Ask();
            if (!id) return false;
            unitId_ = std::move(*id);
        }
    }
    LabelLook(row.doneAtClick, LabelLook::Done);
    RunActions(row.atClick);
    LabelLook(row.currentAtClick, LabelLook::Current);
    Show(row.shown);
    if (row.item != nullptr) {
        BeginItem(row.currentAtClick);
        Lock();
        if (!row.item(ctx_)) {
            FailStep();
            return false;
        }
        if (!row.itemGoesOn) ItemPassed(openItem_);
        LabelLook(row.doneOnSuccess, LabelLook::Done);
        RunActions(row.onSuccess);
        Unlock();
        Show(row.success);
    } else {
        RunActions(row.onSuccess);
    }
    return true;
}

void Wizard::RunActions(uint8_t actions) {
    if (actions & kBeginRun) {
        runOpen_ = true;
        openItem_ = 0;
        exchangesAtStart_ = ctx_.link.exchanges();
        retriesAtStart_ = ctx_.link.retries();
        ctx_.record.RunStarted(unitId_);
        view_.SetStartCaption(caption::kNext);
        view_.SetExitCaption(caption::kCancel);
        view_.SetStartMenuEnabled(false);
    }
    if (actions & kDisableMagGroup) view_.DisableMagGroup();
    if (actions & kExitCaption) view_.SetExitCaption(caption::kExit);
    if (actions & kEndRun) {
        view_.SetStartCaption(caption::kStart);
        view_.SetStartMenuEnabled(true);
        for (int item = 1; item <= kItemCount; ++item) view_.SetItemLook(item, LabelLook::Idle);
    }
}

void Wizard::Show(Screen lines) {
    if (lines.empty()) return;
    ctx_.result.Clear();
    for (std::string_view line : lines) ctx_.result.Append(line);
}

void Wizard::Lock() {
    view_.SetStartEnabled(false);
    view_.SetExitEnabled(false);
}

void Wizard::Unlock() {
    view_.SetStartEnabled(true);
    view_.SetExitEnabled(true);
    view_.FocusStart();
}

void Wizard::LabelLook(uint8_t item, zul::LabelLook look) {
    if (item != 0) view_.SetItemLook(item, look);
}

void Wizard::BeginItem(int number) {
    if (!runOpen_ || number == openItem_ || number < 1 || number > kItemCount) return;
    openItem_ = number;
    ctx_.record.ItemStarted(number, kItemTitles[number - 1]);
}

void Wizard::ItemPassed(int number) {
    if (!runOpen_ || openItem_ == 0 || number != openItem_) return;
    ctx_.record.ItemPassed();
    openItem_ = 0;
    if (number == kItemCount) EndRun(RunOutcome::Complete);
}

void Wizard::EndRun(RunOutcome outcome) {
    if (!runOpen_) return;
    runOpen_ = false;
    openItem_ = 0;
    ctx_.record.RunEnded(outcome, ctx_.link.exchanges() - exchangesAtStart_,
                         ctx_.link.retries() - retriesAtStart_);
}

void Wizard::WindowClosing() {
    EndRun(RunOutcome::Closed);
}

void Wizard::FailStep() {
    if (runOpen_ && openItem_ != 0) {
        const std::vector<std::string> report = ctx_.result.Lines();
        ctx_.record.ItemFailed(report);
    }
    EndRun(RunOutcome::Failed);
    ReportClickCancel(ctx_.result);
    view_.SetExitEnabled(true);
    adjStep_ = -1;
}

void Wizard::FailMag() {
    view_.SetTimerActive(false);
    view_.SetStartEnabled(false);
    view_.SetClearVisible(false);
    FailStep();
}

bool Wizard::RunMagStart() {
    view_.SetItemLook(6, LabelLook::Current);
    view_.SetMagBarRanges();
    view_.EnableMagGroup();
    view_.SetClearVisible(true);
    view_.FocusClear();
    ctx_.result.Clear();
    for (const std::string& line : MagScreen()) ctx_.result.Append(line);
    BeginItem(6);
    // The buttons stay enabled while the reading starts.
    if (!StartMag(ctx_, view_.magView())) {
        FailMag();
        return false;
    }
    view_.SetTimerActive(true);
    return true;
}

bool Wizard::RunMagEnd() {
    view_.SetTimerActive(false);
    // The mag screen stays: its title line is the one a report keeps.
    if (!AdjustMag(ctx_)) {
        FailMag();
        return false;
    }
    ItemPassed(6);
    view_.ResetMagValues();
    view_.HideMagLegend();
    view_.SetClearVisible(false);
    Show(screen::kMagRemoved);
    return true;
}

void Wizard::ClearClick() {
    if (adjStep_ != 9) return;
    view_.SetTimerActive(false);
    ClearMagPeak(ctx_, view_.magView());
    if (!StartMag(ctx_, view_.magView())) {
        FailMag();
        return;
    }
    view_.SetTimerActive(true);
}

void Wizard::TimerTick() {
    // A tick queued before the timer stopped must not poll again.
    if (adjStep_ != 9) return;
    if (!UpdateMag(ctx_, view_.magView())) FailMag();
}

void Wizard::ExitClick() {
    if (adjStep_ == 0 || adjStep_ == 11) {
        view_.CloseWindow();
        return;
    }
    if (adjStep_ == 9) view_.SetTimerActive(false);
    EndRun(RunOutcome::Cancelled);
    ShowIdleScreen(ctx_.result);
    view_.ResetMagValues();
    RunActions(kDisableMagGroup | kExitCaption | kEndRun);
    view_.SetStartEnabled(true);
    view_.SetClearVisible(false);
    adjStep_ = 0;
}

}  // namespace zul
