#include "serial/PortNames.h"

#include <string.h>

#include <array>

#include "serial/Utf8.h"

namespace zul {

namespace {

struct PortDevice {
    std::string_view name;
    std::string_view device;
    std::string_view overrideVariable;
};

// Windows opens the port names themselves, in the device namespace (which
// also reaches COM10 and above); Linux the first serial ttys.
#ifdef _WIN32
#define ZUL_PORT_DEVICE(onWindows, onLinux) onWindows
#else
#define ZUL_PORT_DEVICE(onWindows, onLinux) onLinux
#endif

constexpr std::array<PortDevice, 7> kPortDevices{{
    {"COM1", ZUL_PORT_DEVICE("\\\\.\\COM1", "/dev/ttyS0"), "ZUL10_COM1"},
    {"COM2", ZUL_PORT_DEVICE("\\\\.\\COM2", "/dev/ttyS1"), "ZUL10_COM2"},
    {"COM3", ZUL_PORT_DEVICE("\\\\.\\COM3", "/dev/ttyS2"), "ZUL10_COM3"},
    {"COM4", ZUL_PORT_DEVICE("\\\\.\\COM4", "/dev/ttyS3"), "ZUL10_COM4"},
    {"COM5", ZUL_PORT_DEVICE("\\\\.\\COM5", "/dev/ttyS4"), "ZUL10_COM5"},
    {"COM6", ZUL_PORT_DEVICE("\\\\.\\COM6", "/dev/ttyS5"), "ZUL10_COM6"},
    {"COM7", ZUL_PORT_DEVICE("\\\\.\\COM7", "/dev/ttyS6"), "ZUL10_COM7"},
}};
#undef ZUL_PORT_DEVICE

const PortDevice* FindPort(std::string_view portName) {
    for (const PortDevice& port : kPortDevices) {
        if (port.name == portName) {
            return &port;
        }
    }
    return nullptr;
}

#ifdef _WIN32
// A bare port name such as "COM12": opened as a file name, COM10 and above
// are not found; the device namespace reaches them all.
bool IsBareComName(std::string_view name) {
    return name.size() > 3 && _strnicmp(name.data(), "COM", 3) == 0 &&
           name.find_first_not_of("0123456789", 3) == std::string_view::npos;
}
#endif

}  // namespace

std::optional<std::string> DevicePathForPort(std::string_view portName) {
    const PortDevice* port = FindPort(portName);
    if (port == nullptr) {
        return std::nullopt;
    }
    const std::string variable(port->overrideVariable);
    if (const std::optional<std::string> override = EnvironmentUtf8(variable.c_str())) {
#ifdef _WIN32
        if (IsBareComName(*override)) {
            return "\\\\.\\" + *override;
        }
#endif
        return *override;
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
