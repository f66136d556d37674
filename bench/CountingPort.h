#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <span>

#include "serial/ForwardingPort.h"
#include "serial/SerialPort.h"

namespace zul::bench {

// A port that passes everything to another port (not owned) and counts what
// the program wrote and read: the bytes that crossed the line and the
// exchanges (one write of a request each).
class CountingPort final : public ForwardingPort {
public:
    explicit CountingPort(SerialPort& inner) : ForwardingPort(inner) {}

    bool WritePort(std::span<const uint8_t> bytes) override {
        ++writes;
        bytesWritten += bytes.size();
        const auto start = std::chrono::steady_clock::now();
        const bool ok = inner_.WritePort(bytes);
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        writeMs += ms;
        writeMaxMs = std::max(writeMaxMs, ms);
        return ok;
    }
    uint32_t ReadPort(std::span<uint8_t> buffer) override {
        const uint32_t n = inner_.ReadPort(buffer);
        bytesRead += n;
        if (n < buffer.size()) ++shortReads;
        return n;
    }

    uint64_t writes = 0;
    uint64_t shortReads = 0;  // reads that ran into their time-out
    uint64_t bytesWritten = 0;
    uint64_t bytesRead = 0;
    // Wall time inside WritePort: the check for a tail behind the last
    // answer, the purge and the send.
    double writeMs = 0;
    double writeMaxMs = 0;
};

}  // namespace zul::bench
