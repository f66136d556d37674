#pragma once

#include <memory>

#include "serial/Line.h"
#include "serial/TermiosDevice.h"

namespace zul {

// The serial port on a Linux tty: the shared line logic over a termios
// device.
class TermiosPort final : public Line {
public:
    explicit TermiosPort(TermiosCalls& calls = RealTermiosCalls())
        : Line(std::make_unique<TermiosDevice>(calls)) {}
};

}  // namespace zul
