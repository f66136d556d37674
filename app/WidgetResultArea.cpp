#include "app/WidgetResultArea.h"

#include <QPlainTextEdit>
#include <QScrollBar>

namespace {

QString ToQString(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void WidgetResultArea::Append(std::string_view line) {
    lines_.emplace_back(line);
    if (lines_.size() == 1) {
        edit_.setPlainText(ToQString(line));
    } else {
        edit_.appendPlainText(ToQString(line));
    }
    Repaint();
}

void WidgetResultArea::Trim(std::size_t index) {
    if (index >= lines_.size()) return;
    lines_.resize(index);
    QString text;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (i != 0) text += QLatin1Char('\n');
        text += ToQString(lines_[i]);
    }
    edit_.setPlainText(text);
    Repaint();
}

void WidgetResultArea::Clear() {
    lines_.clear();
    edit_.clear();
    Repaint();
}

void WidgetResultArea::Repaint() {
    // Keep the newest line in view, as the operator reads from the bottom.
    edit_.verticalScrollBar()->setValue(edit_.verticalScrollBar()->maximum());
    edit_.viewport()->repaint();
}
