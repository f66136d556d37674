#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "serial/SerialPort.h"

namespace zul {

// A port that passes every call to another port (not owned, must outlive
// it). Derived ports override what they watch or change: counting, timing or
// recording the traffic of the port behind them.
class ForwardingPort : public SerialPort {
public:
    explicit ForwardingPort(SerialPort& inner) : inner_(inner) {}

    uint32_t OpenDevice(const std::string& portName) override {
        return inner_.OpenDevice(portName);
    }
    uint32_t Configure(const LineSettings& line) override { return inner_.Configure(line); }
    void Close() override { inner_.Close(); }
    bool IsOpen() const override { return inner_.IsOpen(); }
    void SetReadTimeout(uint16_t ms) override { inner_.SetReadTimeout(ms); }
    uint16_t ReadTimeout() const override { return inner_.ReadTimeout(); }
    bool WritePort(std::span<const uint8_t> bytes) override { return inner_.WritePort(bytes); }
    uint32_t ReadPort(std::span<uint8_t> buffer) override { return inner_.ReadPort(buffer); }
    LineMonitor* Monitor() const override { return inner_.Monitor(); }

protected:
    SerialPort& inner_;
};

}  // namespace zul
