#pragma once

#include <string_view>

namespace zul {

// Modal message boxes with an exclamation icon and an OK button. The widgets
// show them; tests record them.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    // Shows text (UTF-8) under caption and returns when the operator closed it.
    virtual void ShowExclamation(std::string_view caption, std::string_view text) = 0;
};

}  // namespace zul
