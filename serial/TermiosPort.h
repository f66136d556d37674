#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "serial/LineSettings.h"
#include "serial/SerialPort.h"

namespace zul {

// The serial port on a Linux tty (termios). The port names map to devices as
// DevicePathForPort says (serial/PortNames.h).
//
// The object owns the file descriptor of the open device and closes it in
// Close, in OpenDevice (before a new open), after a failed Configure and in
// its destructor. Not copyable. Only one thread may use it at a time.
//
// Error codes (SerialPort::kErrorNotFound etc.), from errno:
//   2    ENOENT, ENODEV, ENXIO, or a name that is not a port
//   5    EBUSY, EACCES, EPERM, or the device held by another open (flock)
//   0x57 EINVAL, ENOTTY, or a line configuration the port does not support
//   any other errno value as it stands.
// A device that is not a tty opens, and then fails Configure with 0x57.
class TermiosPort final : public SerialPort {
public:
    TermiosPort() = default;
    ~TermiosPort() override;
    TermiosPort(const TermiosPort&) = delete;
    TermiosPort& operator=(const TermiosPort&) = delete;

    // Opens the device read/write, non-blocking, not as the controlling
    // terminal, and exclusive: an advisory flock (which also holds against
    // root) and TIOCEXCL. Returns kOk or the error code; on failure the port
    // is closed.
    uint32_t OpenDevice(const std::string& portName) override;

    // Purges both queues; sets raw 8-bit mode with the baud rate (1200, 2400,
    // 9600, 19200, 38400), parity (0 none, 1 odd, 2 even; received bytes are
    // checked when it is on, and line errors are marked either way) and stop
    // bits (0 one, 2 two) of line; no flow control; receiver on, modem lines
    // ignored; asserts DTR and RTS; sets the read time-out constant to
    // 2000 ms. Returns kOk, or the error code (0x57 for a value outside these
    // lists or a device that is not a tty), after which the device is closed.
    uint32_t Configure(const LineSettings& line) override;

    void Close() override;
    bool IsOpen() const override { return fd_ >= 0; }

    // Read time-out constant in ms; the per-byte part is 10 ms.
    void SetReadTimeout(uint16_t ms) override { readTimeoutMs_ = ms; }
    uint16_t ReadTimeout() const override { return readTimeoutMs_; }

    // Writes all bytes (waiting for room as long as needed: there is no
    // write time-out) and waits until they have left the line. The transmit
    // queue is empty before and after: a write that fails purges what it
    // left; a drained queue is not purged again, since on a pseudo-terminal
    // that would discard bytes the peer has not yet taken. True when every
    // byte was written and drained; false at once when the port is not open,
    // and false on a write or drain error or a hung-up device.
    bool WritePort(std::span<const uint8_t> bytes) override;

    // Purges the receive queue, then collects up to buffer.size() bytes until
    // they are all there or 10 ms x buffer.size() + the constant have passed
    // (monotonic clock; it never returns earlier with fewer bytes), then
    // purges the receive queue again. Returns the number of bytes stored at
    // the start of buffer. Returns 0 when the port is not open, on a read
    // error, when the device hangs up, and when a byte arrives with a parity
    // or framing error or a break (the receive queue is purged first).
    uint32_t ReadPort(std::span<uint8_t> buffer) override;

    // The error code for an errno value (the table above).
    static uint32_t ErrorCodeForErrno(int error);

private:
    int fd_ = -1;
    uint16_t readTimeoutMs_ = kDefaultReadTimeoutMs;
};

}  // namespace zul
