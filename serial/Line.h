#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "serial/LineDevice.h"
#include "serial/SerialPort.h"

namespace zul {

// The serial port over a platform's device: the one place that decides when
// the queues are purged, how long a send may take and how a late answer is
// kept out of the next one. Owns its device.
//
// A command's answer counts from the moment the command is about to leave:
// the receive queue is purged before the write, never between the write and
// the read, so an answer that begins before the send returns (a machine
// slow to wake the program, a driver slow to report its queue empty) is
// still the answer.
//
// After a read that came back short or failed, an answer may still be on
// its way. Before the next write the line is first let go quiet (a few byte
// times without a byte, bounded) and only then purged, so a block that
// straddled its deadline is never taken for the next answer.
//
// After a complete read, bytes beyond the answer (a unit that pads its
// answers, a garbled length) may still be on the wire or held by the driver.
// A next write that follows sooner than such a byte could have become
// visible first waits out that tail bound (SurplusBoundNs) for one; a byte
// that comes, or has come since, is a late answer and the line is let go
// quiet as above. A write that follows later pays one look at the queue.
class Line : public SerialPort {
public:
    explicit Line(std::unique_ptr<LineDevice> device);

    uint32_t OpenDevice(const std::string& portName) override;
    uint32_t Configure(const LineSettings& line) override;
    void Close() override;
    bool IsOpen() const override;
    void SetReadTimeout(uint16_t ms) override;
    uint16_t ReadTimeout() const override { return readTimeoutMs_; }

    // Tells monitor (not owned; null for none) every event on the line from
    // now on. Without one, the line does nothing beyond its work.
    void SetMonitor(LineMonitor* monitor) { monitor_ = monitor; }
    LineMonitor* Monitor() const override { return monitor_; }

    // Lets a late answer pass (see above), purges the receive queue, clears
    // line errors, then sends every byte within WriteBoundMs. On failure the
    // transmit queue is purged and the line error cleared. False at once when
    // the port is not open.
    bool WritePort(std::span<const uint8_t> bytes) override;

    // Reads up to buffer.size() bytes within 10 ms x buffer.size() + the
    // constant, then purges the receive queue (surplus bytes never reach the
    // next read). 0 on a line error (cleared) or a closed port.
    uint32_t ReadPort(std::span<uint8_t> buffer) override;

    // How long a send of count bytes may take before it counts as wedged:
    // the bytes' own time on the line plus the read time-out constant in
    // force. A unit that cannot take a byte in that time could not answer
    // within the read time-out either; a working line needs a few ms.
    uint32_t WriteBoundMs(size_t count) const;

    // The most bytes (or failed receives) the wait for a late answer takes
    // before it gives up on a line that never goes quiet: more than the
    // longest block (31 bytes). Each may come just before the quiet time
    // runs out, so the wait is bounded by kLateBytesMax x QuietMs (0.84 s
    // at 9600 baud).
    static constexpr int kLateBytesMax = 40;

    // How long after a complete read a byte the unit sent right behind the
    // answer may take to become visible: its own byte time, one more for
    // the unit's and the scheduler's jitter, and the device's delivery delay
    // (LineDevice::Delivery).
    int64_t SurplusBoundNs() const;

private:
    // The quiet time that ends the wait for a late answer: four byte times
    // plus the 16 ms an adapter may hold received bytes before passing them
    // on.
    uint32_t QuietMs() const;

    // What the wait for a quiet line took, for the monitor.
    struct LateBytes {
        std::array<uint8_t, kLateBytesMax + 1> bytes{};
        size_t count = 0;
        int failures = 0;
        void Take(int32_t n, uint8_t byte) {
            if (n > 0 && count < bytes.size()) bytes[count++] = byte;
            if (n < 0) ++failures;
        }
    };

    // Takes and discards what still arrives until the line has been quiet
    // for QuietMs, or kLateBytesMax bytes (or failed receives) were taken.
    void LetLateAnswerPass(LateBytes& late, int64_t startNs);

    // After a complete read: true when a byte arrived behind the answer, or
    // arrives before SurplusBoundNs has passed since the read ended.
    bool SurplusFollows(LateBytes& late);

    // A receive failed: the line error is cleared (and told to the monitor).
    void ReceiveFailed();

    // Now on the device's clock when a monitor listens, else 0 (no clock
    // read).
    int64_t MonitorNow() { return monitor_ != nullptr ? device_->NowNs() : 0; }

    std::unique_ptr<LineDevice> device_;
    uint16_t readTimeoutMs_ = kDefaultReadTimeoutMs;
    int64_t byteTimeNs_ = 0;  // start bit, 8 data bits, parity bit, stop bits
    bool answerMayBeLate_ = false;
    bool surplusMayFollow_ = false;  // the last read was complete
    int64_t readEndNs_ = 0;          // when it ended, on the device's clock
    LineMonitor* monitor_ = nullptr;
};

}  // namespace zul
