#pragma once

#include <string_view>

#include "adjust/MagView.h"
#include "app/WizardView.h"

namespace zul::bench {

// A window side that shows nothing: the wizard runs its items as under the
// real window, without painting.
class NullWizardView final : public WizardView, private MagView {
public:
    void SetStartCaption(std::string_view) override {}
    void SetExitCaption(std::string_view) override {}
    void SetStartEnabled(bool) override {}
    void SetExitEnabled(bool) override {}
    void FocusStart() override {}
    void SetStartMenuEnabled(bool) override {}
    void SetItemLook(int, LabelLook) override {}
    void ResetMagValues() override {}
    void EnableMagGroup() override {}
    void DisableMagGroup() override {}
    void HideMagLegend() override {}
    void SetMagBarRanges() override {}
    MagView& magView() override { return *this; }
    void SetClearVisible(bool) override {}
    void FocusClear() override {}
    void SetTimerActive(bool) override {}
    void CloseWindow() override {}

private:
    void SetPeakText(std::string_view) override {}
    void SetAdText(std::string_view) override {}
    void SetPeakBar(int) override {}
    void SetAdBar(int) override {}
};

}  // namespace zul::bench
