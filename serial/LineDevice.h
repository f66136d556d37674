#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>

#include "serial/LineSettings.h"

namespace zul {

// The read time-outs of one receive, as the platform's serial driver takes
// them: the receive gives up perByteMs x (bytes asked for) + constantMs
// milliseconds after it started.
struct ReadTimeouts {
    uint32_t perByteMs = 0;
    uint32_t constantMs = 0;
    // Nanoseconds beyond constantMs (0 to 999,999). A driver that counts
    // whole milliseconds waits one more instead.
    uint32_t extraNs = 0;

    // The whole wait for a receive of count bytes, in nanoseconds.
    int64_t TotalNs(size_t count) const {
        return (static_cast<int64_t>(count) * perByteMs + constantMs) * 1'000'000 + extraNs;
    }
};

// One serial device as a platform gives it: open, configure, the two queue
// purges, the clearing of a line error, and a bounded send and receive. It
// keeps no policy of its own. The order of the purges, the bounds of a
// send, the read time-out in force and the clearing of late answers belong
// to Line (serial/Line.h), which is written once for every platform.
//
// Each platform has one implementation in a file of its own (termios,
// Win32). All calls block; one thread at a time.
class LineDevice {
public:
    virtual ~LineDevice() = default;

    // Opens the device of portName ("COM1" to "COM7") read/write and
    // exclusive, closing one that is still open first. Returns
    // SerialPort::kOk or the error code to show the operator; after a
    // failure the device is closed.
    virtual uint32_t Open(const std::string& portName) = 0;

    // Purges both queues and applies the line configuration: 8 data bits,
    // the baud rate, parity and stop bits of line, no flow control, DTR and
    // RTS on, line errors failing the receive. Returns SerialPort::kOk or
    // the error code; after a failure the device is closed.
    virtual uint32_t Configure(const LineSettings& line) = 0;

    // Closes the device; nothing when it is not open.
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    // Discards what was received and not yet taken / what waits to be sent.
    virtual void PurgeReceive() = 0;
    virtual void PurgeTransmit() = 0;

    // Clears a pending line error (framing, parity, overrun, break), so that
    // the next send or receive works again.
    virtual void ClearLineErrors() = 0;

    // Hands every byte to the line and waits until the driver has sent
    // them, giving up boundMs milliseconds after the call. True when all
    // were sent in time; false on an error, a hung-up device, or the bound.
    virtual bool Send(std::span<const uint8_t> bytes, uint32_t boundMs) = 0;

    // Waits until buffer.size() bytes have arrived or the time-outs have run
    // out, whichever comes first, and returns the number stored at the start
    // of buffer (0 to buffer.size()). Never returns earlier with fewer
    // bytes. Time-outs of zero take only what has arrived. Returns -1 on a
    // line error, a read error or a hung-up device.
    virtual int32_t Receive(std::span<uint8_t> buffer, ReadTimeouts timeouts) = 0;

    // How long the driver may hold a byte that has come off the line before
    // a receive can take it: a number of byte times (a UART hands over a
    // partly filled FIFO only after its receive time-out of four character
    // times) plus milliseconds (a USB adapter sends what it received when
    // its latency timer runs out, 16 ms unless low latency was granted). A
    // device that cannot tell gives both.
    struct ReceiveDelay {
        int byteTimes = 4;
        uint32_t ms = 16;
    };
    virtual ReceiveDelay Delivery() const { return {}; }

    // For the line monitor only, never for a decision: the bytes waiting in
    // the receive queue (-1 where the platform cannot tell), and what made
    // the last Receive return -1, in words.
    virtual int32_t ReceiveQueued() { return -1; }
    virtual std::string ReceiveFailure() const { return "receive failed"; }

    // The monotonic clock the device waits on, in nanoseconds.
    virtual int64_t NowNs() {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
};

}  // namespace zul
