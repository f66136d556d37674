#pragma once

#include <cstdint>
#include <deque>
#include <span>
#include <string>
#include <vector>

#include "serial/SerialPort.h"

namespace zul::test {

// A scriptable SerialPort: OpenDevice and Configure fail with the codes set
// for them, writes are recorded, reads deliver queued replies. Every call is
// logged ("open COM1", "configure", "close", "write", "read") so tests can
// check the order of operations.
class FakePort final : public SerialPort {
public:
    // Codes the next and all later calls return (0: success).
    uint32_t openError = kOk;
    uint32_t configureError = kOk;

    std::vector<std::string> calls;
    std::vector<std::string> openedNames;
    std::vector<LineSettings> configured;
    std::vector<std::vector<uint8_t>> written;
    std::deque<std::vector<uint8_t>> replies;  // one per ReadPort; none: time-out

    uint32_t OpenDevice(const std::string& portName) override {
        calls.push_back("open " + portName);
        openedNames.push_back(portName);
        open_ = openError == kOk;
        return openError;
    }
    uint32_t Configure(const LineSettings& line) override {
        calls.push_back("configure");
        configured.push_back(line);
        if (configureError != kOk) {
            open_ = false;
            return configureError;
        }
        timeoutMs_ = kDefaultReadTimeoutMs;
        return kOk;
    }
    void Close() override {
        calls.push_back("close");
        open_ = false;
    }
    bool IsOpen() const override { return open_; }
    void SetReadTimeout(uint16_t ms) override { timeoutMs_ = ms; }
    uint16_t ReadTimeout() const override { return timeoutMs_; }
    bool WritePort(std::span<const uint8_t> bytes) override {
        calls.push_back("write");
        if (!open_) return false;
        written.emplace_back(bytes.begin(), bytes.end());
        return true;
    }
    uint32_t ReadPort(std::span<uint8_t> buffer) override {
        calls.push_back("read");
        if (!open_ || replies.empty()) return 0;
        std::vector<uint8_t> reply = std::move(replies.front());
        replies.pop_front();
        const size_t n = reply.size() < buffer.size() ? reply.size() : buffer.size();
        for (size_t i = 0; i < n; ++i) buffer[i] = reply[i];
        return static_cast<uint32_t>(n);
    }

private:
    bool open_ = false;
    uint16_t timeoutMs_ = kDefaultReadTimeoutMs;
};

}  // namespace zul::test
