#pragma once

#include "adjust/MagView.h"

class QLabel;
class QProgressBar;

// The live values of the mag group over its two number labels and two bars.
// Every change is repainted at once. None of the widgets is owned.
class WidgetMagView final : public zul::MagView {
public:
    WidgetMagView(QLabel& peakText, QLabel& adText, QProgressBar& peakBar, QProgressBar& adBar)
        : peakText_(peakText), adText_(adText), peakBar_(peakBar), adBar_(adBar) {}

    void SetPeakText(std::string_view text) override;
    void SetAdText(std::string_view text) override;
    // Positions outside the bar's range are held at its ends.
    void SetPeakBar(int position) override;
    void SetAdBar(int position) override;

private:
    QLabel& peakText_;
    QLabel& adText_;
    QProgressBar& peakBar_;
    QProgressBar& adBar_;
};
