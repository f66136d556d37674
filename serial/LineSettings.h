#pragma once

#include <cstdint>
#include <string>

namespace zul {

// Parity codes kept in LineSettings (the codes the settings file names).
inline constexpr uint8_t kNoParity = 0;
inline constexpr uint8_t kOddParity = 1;
inline constexpr uint8_t kEvenParity = 2;

// Stop-bit codes kept in LineSettings.
inline constexpr uint8_t kOneStopBit = 0;
inline constexpr uint8_t kTwoStopBits = 2;

// The values the port is configured with.
struct LineSettings {
    std::string portName;     // "COM1" to "COM7"; empty until the settings were first loaded
    int32_t baudRate = 9600;  // 1200, 2400, 9600, 19200 or 38400
    uint8_t parity = kEvenParity;
    uint8_t byteSize = 8;  // always 8 data bits
    uint8_t stopBits = kOneStopBit;

    bool operator==(const LineSettings&) const = default;
};

}  // namespace zul
