#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "serial/LineSettings.h"

namespace zul {

// Everything that happens on the serial line, told as it happens by the line
// layer (Line) and the command exchange, for a trace a bench engineer reads.
// Times are nanoseconds on the device's monotonic clock. A port without a
// monitor tells nothing and does no extra work.
class LineMonitor {
public:
    virtual ~LineMonitor() = default;

    // The device of portName was opened (code 0) or not (the error code).
    virtual void Opened(int64_t ns, std::string_view portName, std::string_view device,
                        uint32_t code) = 0;
    virtual void Configured(int64_t ns, const LineSettings& line, uint32_t code) = 0;
    virtual void Closed(int64_t ns) = 0;
    // The read time-out constant changed.
    virtual void ReadTimeoutSet(int64_t ns, uint16_t ms) = 0;

    // The receive queue was emptied; dropped is what it held (-1 where the
    // platform cannot tell).
    virtual void Purged(int64_t ns, int32_t dropped) = 0;
    // The transmit queue was emptied after a failed send.
    virtual void TransmitPurged(int64_t ns) = 0;

    // bytes were handed to the line (sent: all of them left in time) within
    // tookNs.
    virtual void Written(int64_t ns, std::span<const uint8_t> bytes, bool sent, int64_t tookNs) = 0;
    // A receive of asked bytes ended after tookNs with bytes (all of them:
    // the answer; fewer: the time-out ran out).
    virtual void Received(int64_t ns, std::span<const uint8_t> bytes, size_t asked,
                          int64_t tookNs) = 0;
    // A receive failed: a line error (framing, parity, overrun, break), a
    // read error or a hang-up, in words.
    virtual void ReceiveFailed(int64_t ns, std::string_view what) = 0;
    // The wait for a quiet line before a command: how long it took, the
    // bytes it dropped and the failed receives it met.
    virtual void QuietWait(int64_t ns, int64_t tookNs, std::span<const uint8_t> dropped,
                           int failures) = 0;

    // The exchange repeats command: attempt of attempts (2 to 4). Told at
    // the moment of the last event.
    virtual void Retry(uint8_t command, int attempt, int attempts) = 0;
};

}  // namespace zul
