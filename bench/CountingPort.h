#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "serial/SerialPort.h"

namespace zul::bench {

// A port that passes everything to another port (not owned) and counts what
// the program wrote and read: the bytes that crossed the line and the
// exchanges (one write of a request each).
class CountingPort final : public SerialPort {
public:
    explicit CountingPort(SerialPort& inner) : inner_(inner) {}

    uint32_t OpenDevice(const std::string& portName) override {
        return inner_.OpenDevice(portName);
    }
    uint32_t Configure(const LineSettings& line) override { return inner_.Configure(line); }
    void Close() override { inner_.Close(); }
    bool IsOpen() const override { return inner_.IsOpen(); }
    void SetReadTimeout(uint16_t ms) override { inner_.SetReadTimeout(ms); }
    uint16_t ReadTimeout() const override { return inner_.ReadTimeout(); }
    bool WritePort(std::span<const uint8_t> bytes) override {
        ++writes;
        bytesWritten += bytes.size();
        return inner_.WritePort(bytes);
    }
    uint32_t ReadPort(std::span<uint8_t> buffer) override {
        ++reads;
        const uint32_t n = inner_.ReadPort(buffer);
        bytesRead += n;
        if (n < buffer.size()) ++shortReads;
        return n;
    }

    uint64_t writes = 0;
    uint64_t reads = 0;
    uint64_t shortReads = 0;  // reads that ran into their time-out
    uint64_t bytesWritten = 0;
    uint64_t bytesRead = 0;

private:
    SerialPort& inner_;
};

}  // namespace zul::bench
