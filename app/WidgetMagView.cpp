#include "app/WidgetMagView.h"

#include <QLabel>
#include <QProgressBar>
#include <algorithm>

namespace {

void SetText(QLabel& label, std::string_view text) {
    label.setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
    label.repaint();
}

void SetBar(QProgressBar& bar, int position) {
    // A progress bar ignores a value outside its range; a full bar is meant.
    bar.setValue(std::clamp(position, bar.minimum(), bar.maximum()));
    bar.repaint();
}

}  // namespace

void WidgetMagView::SetPeakText(std::string_view text) {
    SetText(peakText_, text);
}
void WidgetMagView::SetAdText(std::string_view text) {
    SetText(adText_, text);
}
void WidgetMagView::SetPeakBar(int position) {
    SetBar(peakBar_, position);
}
void WidgetMagView::SetAdBar(int position) {
    SetBar(adBar_, position);
}
