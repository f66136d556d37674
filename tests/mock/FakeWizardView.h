#pragma once

#include <array>
#include <string>
#include <string_view>

#include "adjust/MagView.h"
#include "app/WizardView.h"

namespace zul::test {

// A mag group that keeps only the last values it was given.
class FakeMagView final : public MagView {
public:
    void SetPeakText(std::string_view text) override { peakText = text; }
    void SetAdText(std::string_view text) override { adText = text; }
    void SetPeakBar(int position) override { peakBar = position; }
    void SetAdBar(int position) override { adBar = position; }

    std::string peakText, adText;
    int peakBar = 0, adBar = 0;
};

// The window as the wizard leaves it, cheap enough for thousands of runs:
// the state of every control the wizard touches, and no call log.
class FakeWizardView final : public WizardView {
public:
    void SetStartCaption(std::string_view c) override { startCaption = c; }
    void SetExitCaption(std::string_view c) override { exitCaption = c; }
    void SetStartEnabled(bool e) override { startEnabled = e; }
    void SetExitEnabled(bool e) override { exitEnabled = e; }
    void FocusStart() override { focus = Focus::Start; }
    void SetStartMenuEnabled(bool e) override { menuEnabled = e; }
    void SetItemLook(int item, LabelLook look) override { looks.at(item - 1) = look; }
    void ResetMagValues() override {
        mag.peakText.clear();
        mag.adText.clear();
        mag.peakBar = 0;
        mag.adBar = 0;
    }
    void EnableMagGroup() override { groupActive = legend = true; }
    void DisableMagGroup() override { groupActive = legend = false; }
    void HideMagLegend() override { legend = false; }
    void SetMagBarRanges() override {}
    MagView& magView() override { return mag; }
    void SetClearVisible(bool v) override { clearVisible = v; }
    void FocusClear() override { focus = Focus::Clear; }
    void SetTimerActive(bool a) override { timerActive = a; }
    void CloseWindow() override { closed = true; }

    enum class Focus { None, Start, Clear };

    std::string startCaption{"Start"}, exitCaption{"Exit"};
    bool startEnabled = true, exitEnabled = true, menuEnabled = true;
    bool groupActive = false, legend = false, clearVisible = false, timerActive = false;
    bool closed = false;
    Focus focus = Focus::None;
    std::array<LabelLook, kItemCount> looks{};
    FakeMagView mag;
};

}  // namespace zul::test
