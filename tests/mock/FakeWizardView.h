#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

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
// the state of every control the wizard touches. With logEvents set, events
// also keeps the order of the timer, Start-button and mag-group calls.
class FakeWizardView final : public WizardView {
public:
    void SetStartCaption(std::string_view c) override { startCaption = c; }
    void SetExitCaption(std::string_view c) override { exitCaption = c; }
    void SetStartEnabled(bool e) override {
        Log(e ? "start on" : "start off");
        startEnabled = e;
    }
    void SetExitEnabled(bool e) override { exitEnabled = e; }
    void FocusStart() override { focus = Focus::Start; }
    void SetStartMenuEnabled(bool e) override { menuEnabled = e; }
    void SetItemLook(int item, LabelLook look) override { looks.at(item - 1) = look; }
    void ResetMagValues() override {
        Log("reset values");
        mag.peakText.clear();
        mag.adText.clear();
        mag.peakBar = 0;
        mag.adBar = 0;
    }
    void EnableMagGroup() override {
        Log("enable group");
        groupActive = legend = true;
    }
    void DisableMagGroup() override {
        Log("disable group");
        groupActive = legend = false;
    }
    void HideMagLegend() override { legend = false; }
    void SetMagBarRanges() override {}
    MagView& magView() override { return mag; }
    void SetClearVisible(bool v) override { clearVisible = v; }
    void FocusClear() override { focus = Focus::Clear; }
    void SetTimerActive(bool a) override {
        Log(a ? "timer on" : "timer off");
        timerActive = a;
    }
    void CloseWindow() override { closed = true; }

    enum class Focus { None, Start, Clear };

    std::string startCaption{"Start"}, exitCaption{"Exit"};
    bool startEnabled = true, exitEnabled = true, menuEnabled = true;
    bool groupActive = false, legend = false, clearVisible = false, timerActive = false;
    bool closed = false;
    Focus focus = Focus::None;
    std::array<LabelLook, kItemCount> looks{};
    FakeMagView mag;
    bool logEvents = false;
    std::vector<std::string> events;

private:
    void Log(const char* event) {
        if (logEvents) events.emplace_back(event);
    }
};

}  // namespace zul::test
