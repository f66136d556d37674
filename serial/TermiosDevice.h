#pragma once

#include <sys/types.h>
#include <termios.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "serial/LineDevice.h"
#include "serial/LineSettings.h"
#include "serial/PortClaim.h"
#include "serial/TermiosCalls.h"

namespace zul {

// A serial device on a Linux tty (termios). The port names map to devices as
// DevicePathForPort says (serial/PortNames.h).
//
// The object owns the file descriptor of the open device and closes it in
// Close, in Open (before a new open), after a failed Configure and in its
// destructor. Not copyable.
//
// Error codes (SerialPort::kErrorNotFound etc.), from errno:
//   2    ENOENT, ENODEV, ENXIO, or a name that is not a port
//   5    EBUSY, EACCES, EPERM, or the device held by another open (flock)
//   0x57 EINVAL, ENOTTY, or a line configuration the port does not support
//   any other errno value as it stands.
// A device that is not a tty opens, and then fails Configure with 0x57.
//
// As it opens, the port is claimed (serial/PortClaim.h; TermiosClaim by
// default: the flock, the check that a UART is there, the scan for other
// holders, the UUCP lock file, TIOCEXCL), and the claim is given back as the
// device closes, whatever closes it. Low latency, where the driver grants it,
// is given back as the port closes too.
//
// A device that hangs up (an adapter unplugged, the far end of a
// pseudo-terminal gone) is closed at once: every later send fails without a
// wait, and a USB adapter plugged in again gets its old name back (the
// usb-serial core keeps a minor while a descriptor of it is open), so the
// port dialog's OK opens it again.
//
// Every system call goes through calls (RealTermiosCalls() by default).
class TermiosDevice final : public LineDevice {
public:
    explicit TermiosDevice(TermiosCalls& calls = RealTermiosCalls());
    // The same with a claim of the caller's (not owned; must outlive this).
    TermiosDevice(TermiosCalls& calls, PortClaim& claim);
    ~TermiosDevice() override;
    TermiosDevice(const TermiosDevice&) = delete;
    TermiosDevice& operator=(const TermiosDevice&) = delete;

    // Opens the device read/write, non-blocking, not as the controlling
    // terminal, and exclusive: an advisory flock (which also holds against
    // root) and TIOCEXCL.
    uint32_t Open(const std::string& portName) override;

    // Purges both queues; sets raw 8-bit mode with the baud rate (1200, 2400,
    // 9600, 19200, 38400), parity (0 none, 1 odd, 2 even; received bytes are
    // checked when it is on, and line errors are marked either way) and stop
    // bits (0 one, 2 two); no flow control; receiver on, modem lines
    // ignored; asserts DTR and RTS; asks the driver for low latency where it
    // offers it. 0x57 for a value outside these lists or a
    // device that is not a tty.
    uint32_t Configure(const LineSettings& line) override;

    void Close() override;
    bool IsOpen() const override { return fd_ >= 0; }

    void PurgeReceive() override;
    void PurgeTransmit() override;
    // A marked line error is taken out of the queue by the receive that
    // meets it; nothing is left to clear.
    void ClearLineErrors() override {}

    // Writes all bytes, waiting for room, then waits until the driver's
    // output queue is empty; all of it within boundMs. The queue counts what
    // the driver holds, not what it has handed on (an 8250's FIFO, what a USB
    // adapter holds): the bound catches a wedged driver, not a wedged
    // adapter, whose silence the read time-out then reports.
    bool Send(std::span<const uint8_t> bytes, uint32_t boundMs) override;

    // Collects bytes until all are there or the time-outs have passed
    // (monotonic clock, waits to the nanosecond). -1 when the device hangs
    // up, on a read error, and when a byte arrives with a parity or framing
    // error or a break.
    int32_t Receive(std::span<uint8_t> buffer, ReadTimeouts timeouts) override;

    // A pseudo-terminal hands bytes over at once, a UART after its FIFO
    // time-out, a USB adapter after its latency timer.
    ReceiveDelay Delivery() const override { return delivery_; }
    // FIONREAD: the raw bytes in the line discipline's queue (a byte marked
    // with a line error counts three).
    int32_t ReceiveQueued() override;
    // The marks tell a line error, not which one: a parity or framing error
    // or, on a zero byte, a break.
    std::string ReceiveFailure() const override { return failure_; }
    int64_t NowNs() override { return sys_.NowNs(); }

    // The error code for an errno value (the table above).
    static uint32_t ErrorCodeForErrno(int error);

private:
    void GiveBackLowLatency();
    bool TookAllButParity(const termios& wanted);
    bool WaitUntilSent(int64_t deadline);

    TermiosCalls& sys_;
    std::unique_ptr<PortClaim> ownClaim_;  // the default claim, when none was given
    PortClaim& claim_;
    bool claimed_ = false;  // Take was called for the open descriptor
    int fd_ = -1;
    bool pseudoTerminal_ = false;
    bool lowLatencyGranted_ = false;  // by us: cleared again on close
    ReceiveDelay delivery_;
    std::string failure_;  // why the last receive failed
};

}  // namespace zul
