#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "serial/SerialPort.h"

namespace zul::test {

// A serial port with nothing at the far end that records how it was opened,
// configured and closed. Opening a name listed in failures fails with its
// code; every other name opens.
class OpenRecordingPort final : public SerialPort {
public:
    uint32_t OpenDevice(const std::string& portName) override {
        open_ = false;
        opened.push_back(portName);
        if (auto it = failures.find(portName); it != failures.end()) return it->second;
        open_ = true;
        return kOk;
    }
    uint32_t Configure(const LineSettings& line) override {
        configured.push_back(line);
        if (configureError != kOk) {
            open_ = false;
            return configureError;
        }
        return kOk;
    }
    void Close() override {
        if (open_) ++closes;
        open_ = false;
    }
    bool IsOpen() const override { return open_; }
    void SetReadTimeout(uint16_t ms) override { timeoutMs_ = ms; }
    uint16_t ReadTimeout() const override { return timeoutMs_; }
    bool WritePort(std::span<const uint8_t>) override { return open_; }
    uint32_t ReadPort(std::span<uint8_t>) override { return 0; }

    std::map<std::string, uint32_t> failures;  // port name -> error code of its open
    uint32_t configureError = kOk;
    std::vector<std::string> opened;       // every OpenDevice, in order
    std::vector<LineSettings> configured;  // every Configure, in order
    int closes = 0;                        // closes of an open device

private:
    bool open_ = false;
    uint16_t timeoutMs_ = kDefaultReadTimeoutMs;
};

}  // namespace zul::test
