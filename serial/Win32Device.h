#pragma once

#include <windows.h>

#include <cstdint>
#include <span>
#include <string>

#include "serial/LineDevice.h"
#include "serial/LineSettings.h"
#include "serial/Win32Calls.h"

namespace zul {

// A serial device on Windows (a COM port). The port names map to devices as
// DevicePathForPort says (serial/PortNames.h): \\.\COM1 and so on.
//
// Error codes are those of GetLastError, unchanged: 2 for a port that does
// not exist, 5 for one held by another program, 0x57 for a configuration
// the driver refuses. A name that is not a port gives 2.
//
// Every receive and send runs under time-outs of the driver: a receive
// under those it is given, a send under its bound. The device never reads
// or writes without a bound in force. Not copyable; closes its handle in
// Close, in Open, after a failed Configure and in its destructor, and as
// soon as ReadFile, WriteFile or ClearCommError fails with an error that
// means the device is gone (an
// unplugged USB adapter: ERROR_BAD_COMMAND, ERROR_DEVICE_REMOVED,
// ERROR_DEVICE_NOT_CONNECTED, ERROR_ACCESS_DENIED, ERROR_OPERATION_ABORTED,
// ERROR_GEN_FAILURE), so that the driver can finish removing it and the port
// dialog's OK opens the replugged one; every later send and receive then
// fails at once.
class Win32Device final : public LineDevice {
public:
    explicit Win32Device(Win32Calls& calls = Win32Calls::System()) : calls_(calls) {}
    ~Win32Device() override;
    Win32Device(const Win32Device&) = delete;
    Win32Device& operator=(const Win32Device&) = delete;

    // CreateFileA with read and write access, no sharing, synchronous I/O.
    uint32_t Open(const std::string& portName) override;

    // Purges both queues; reads the port's state, sets 8 data bits, the baud
    // rate, parity and stop bits, binary mode, parity checking, DTR and RTS
    // on, no flow control, DSR ignored, no error or null byte replacement,
    // abort on error off, and writes it back. Then applies the time-outs of a
    // 2000 ms read. A port whose state cannot be read gives that error.
    uint32_t Configure(const LineSettings& line) override;

    void Close() override;
    bool IsOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }

    // Each purge clears pending line errors first. A receive queue that
    // could not be purged fails every receive until a purge succeeds; a
    // transmit queue, the next send unless it can be purged then.
    void PurgeReceive() override;
    void PurgeTransmit() override;
    void ClearLineErrors() override;

    // WriteFile under a write time-out of boundMs. The driver completes the
    // write once it has passed every byte on to the line. Draining beyond
    // that (FlushFileBuffers) is not bounded by any time-out, so it is left
    // out: a wedged adapter would block the window for good.
    bool Send(std::span<const uint8_t> bytes, uint32_t boundMs) override;

    // ReadFile under the read time-outs given (no limit between bytes); -1
    // when ClearCommError then reports a framing, parity, overrun or break
    // error.
    int32_t Receive(std::span<uint8_t> buffer, ReadTimeouts timeouts) override;

    // ClearCommError's count of received bytes not yet read (it also clears
    // the errors, as every purge does first).
    int32_t ReceiveQueued() override;
    // The errors ClearCommError reported, by name.
    std::string ReceiveFailure() const override { return failure_; }

private:
    // The error of the call that just failed; never 0, which would read as
    // success (31, a device not working, for a driver that sets none).
    uint32_t LastError();

    // The last error, after closing the device.
    uint32_t FailConfigure();

    // The error of the call that just failed, after closing the handle when
    // it means the device is gone.
    uint32_t Failed();

    // "ReadFile failed, error 22", and what followed from it.
    std::string FailureText(const char* call, uint32_t error) const;

    // ClearCommError; stores the errors it reported in errors unless null.
    bool ClearErrors(DWORD* errors);

    // Clears line errors, then PurgeComm with flags; false when the purge
    // failed.
    bool Purge(DWORD flags);

    // Puts timeouts in force unless they already are. False when the driver
    // refuses them.
    bool ApplyTimeouts(const COMMTIMEOUTS& timeouts);

    Win32Calls& calls_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    COMMTIMEOUTS inForce_{};
    bool timeoutsKnown_ = false;
    bool receiveStale_ = false;   // the last purge of the receive queue failed
    bool transmitStale_ = false;  // the last purge of the transmit queue failed
    std::string failure_;         // why the last receive failed
};

}  // namespace zul
