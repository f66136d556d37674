#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "serial/LineMonitor.h"
#include "serial/LineSettings.h"

namespace zul {

// The one serial line to the validator unit. All calls block; only the window
// thread uses the port, one operation at a time.
//
// A platform backend (termios here) and the in-process simulated unit both
// implement this interface; the command exchange sees nothing else.
class SerialPort {
public:
    virtual ~SerialPort() = default;

    // Error codes returned by OpenDevice and Configure, as the operators know
    // them from the bench's original platform.
    static constexpr uint32_t kOk = 0;
    static constexpr uint32_t kErrorNotFound = 2;      // missing device
    static constexpr uint32_t kErrorInUse = 5;         // in use or not permitted
    static constexpr uint32_t kErrorBadConfig = 0x57;  // refuses the line configuration

    // Opens the device named portName ("COM1" to "COM7"), read/write and
    // exclusive. Closes a device that is still open first. Returns kOk, or the
    // error code to show the operator. After a failure the port is closed and
    // every write fails at once.
    virtual uint32_t OpenDevice(const std::string& portName) = 0;

    // Purges both queues and applies the line configuration and the read
    // time-out constant of 2000 ms to the device opened by OpenDevice.
    // Returns kOk, or the error code to show; on failure the device is closed.
    virtual uint32_t Configure(const LineSettings& line) = 0;

    // Closes the device; does nothing when it is not open.
    virtual void Close() = 0;

    // True while a device is open (configured or not).
    virtual bool IsOpen() const = 0;

    // Sets the read time-out constant in milliseconds (0 to 65535). A read of
    // n bytes waits at most 10 ms x n + this constant.
    virtual void SetReadTimeout(uint16_t ms) = 0;

    // The read time-out constant now in force, in milliseconds.
    virtual uint16_t ReadTimeout() const = 0;

    // Empties the receive queue (after letting a late answer to the last
    // read pass), writes every byte and waits until they have left, within
    // a bound. Returns true when the write succeeded; false at once when the
    // port is not open. Whatever arrives from this call on is the answer.
    virtual bool WritePort(std::span<const uint8_t> bytes) = 0;

    // Reads up to buffer.size() bytes within the time-out, then purges the
    // receive queue. Returns the number of bytes received (fewer than asked
    // means the time-out ran out); 0 on a failed read (a line error, a closed
    // port).
    virtual uint32_t ReadPort(std::span<uint8_t> buffer) = 0;

    // The monitor that is told what happens on the line, or null (the
    // default: nothing is told).
    virtual LineMonitor* Monitor() const { return nullptr; }
};

// The read time-out constant in force after opening and between the exchanges
// that raise it.
inline constexpr uint16_t kDefaultReadTimeoutMs = 2000;
// The per-byte part of the read time-out.
inline constexpr uint32_t kReadTimeoutPerByteMs = 10;

}  // namespace zul
