#pragma once

#include "serial/MessageSink.h"

namespace zul {

// The operator's message boxes: a modal box with the exclamation (warning)
// icon, the caption, the text and a single OK button, shown with no parent
// so that it also appears before the main window exists.
class MessageBoxSink final : public MessageSink {
public:
    void ShowExclamation(std::string_view caption, std::string_view text) override;
};

}  // namespace zul
