#pragma once

#include <memory>

#include "serial/Line.h"
#include "serial/Win32Device.h"

namespace zul {

// The serial port on Windows: the shared line logic over a COM port.
class Win32Port final : public Line {
public:
    Win32Port() : Line(std::make_unique<Win32Device>()) {}
};

}  // namespace zul
