#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zul {

// The port names the operator chooses from, "COM1" to "COM7", and the
// devices behind them: \\.\COM1 to \\.\COM7 on Windows, /dev/ttyS0 to
// /dev/ttyS6 on Linux, unless the environment variable ZUL10_COM1 ..
// ZUL10_COM7 is set to a non-empty path, which then names the device for that
// port (\\.\COM12, a USB adapter, a pseudo-terminal). On Windows a bare
// "COM12" gets the \\.\ prefix it needs.
//
// Returns the device path for portName (exact, case-sensitive), or no value
// for any other name (the open then fails with "not found", code 2).
std::optional<std::string> DevicePathForPort(std::string_view portName);

// The environment variable that overrides the device of portName
// ("ZUL10_COM1" for "COM1"), or no value for a name that is not a port.
std::optional<std::string> PortOverrideVariable(std::string_view portName);

}  // namespace zul
