#include "serial/PortNames.h"

#include <array>
#include <cstdlib>

namespace zul {

namespace {

struct PortDevice {
    std::string_view name;
    std::string_view device;
    std::string_view overrideVariable;
};

constexpr std::array<PortDevice, 7> kPortDevices{{
    {"COM1", "/dev/ttyS0", "ZUL10_COM1"},
    {"COM2", "/dev/ttyS1", "ZUL10_COM2"},
    {"COM3", "/dev/ttyS2", "ZUL10_COM3"},
    {"COM4", "/dev/ttyS3", "ZUL10_COM4"},
    {"COM5", "/dev/ttyS4", "ZUL10_COM5"},
    {"COM6", "/dev/ttyS5", "ZUL10_COM6"},
    {"COM7", "/dev/ttyS6", "ZUL10_COM7"},
}};

const PortDevice* FindPort(std::string_view portName) {
    for (const PortDevice& port : kPortDevices) {
        if (port.name == portName) {
            return &port;
        }
    }
    return nullptr;
}

}  // namespace

std::optional<std::string> DevicePathForPort(std::string_view portName) {
    const PortDevice* port = FindPort(portName);
    if (port == nullptr) {
        return std::nullopt;
    }
    const std::string variable(port->overrideVariable);
    const char* override = std::getenv(variable.c_str());
    if (override != nullptr && override[0] != '\0') {
        return std::string(override);
    }
    return std::string(port->device);
}

std::optional<std::string> PortOverrideVariable(std::string_view portName) {
    const PortDevice* port = FindPort(portName);
    if (port == nullptr) {
        return std::nullopt;
    }
    return std::string(port->overrideVariable);
}

}  // namespace zul
