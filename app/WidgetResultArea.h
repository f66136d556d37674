#pragma once

#include <string>
#include <vector>

#include "adjust/ResultArea.h"

class QPlainTextEdit;

// The result area over the main window's memResult. Keeps the lines itself
// (an empty line and an empty area look alike in the widget) and mirrors them
// into the widget. Repaints the widget after every change, so the progress
// line is on screen while an item blocks the thread.
class WidgetResultArea final : public zul::ResultArea {
public:
    explicit WidgetResultArea(QPlainTextEdit& edit) : edit_(edit) {}  // not owned

    void Append(std::string_view line) override;
    void Trim(std::size_t index) override;
    void Clear() override;
    std::vector<std::string> Lines() const override { return lines_; }

private:
    void Repaint();

    QPlainTextEdit& edit_;
    std::vector<std::string> lines_;
};
