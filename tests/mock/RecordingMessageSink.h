#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "serial/MessageSink.h"

namespace zul::test {

// Records every message box instead of showing it; returns at once.
class RecordingMessageSink final : public MessageSink {
public:
    struct Box {
        std::string caption;
        std::string text;
        bool operator==(const Box&) const = default;
    };

    void ShowExclamation(std::string_view caption, std::string_view text) override {
        boxes.push_back({std::string(caption), std::string(text)});
    }

    std::vector<Box> boxes;
};

}  // namespace zul::test
