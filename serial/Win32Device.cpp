#include "serial/Win32Device.h"

#include <optional>
#include <string>

#include "serial/PortNames.h"
#include "serial/SerialPort.h"

namespace zul {

namespace {

class SystemCalls final : public Win32Calls {
public:
    HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                       DWORD disposition, DWORD flags, HANDLE templateFile) override {
        return ::CreateFileA(name, access, share, security, disposition, flags, templateFile);
    }
    BOOL CloseHandle(HANDLE handle) override { return ::CloseHandle(handle); }
    BOOL GetCommState(HANDLE handle, LPDCB dcb) override { return ::GetCommState(handle, dcb); }
    BOOL SetCommState(HANDLE handle, LPDCB dcb) override { return ::SetCommState(handle, dcb); }
    BOOL SetCommTimeouts(HANDLE handle, LPCOMMTIMEOUTS timeouts) override {
        return ::SetCommTimeouts(handle, timeouts);
    }
    BOOL PurgeComm(HANDLE handle, DWORD flags) override { return ::PurgeComm(handle, flags); }
    BOOL ClearCommError(HANDLE handle, LPDWORD errors, LPCOMSTAT status) override {
        return ::ClearCommError(handle, errors, status);
    }
    BOOL WriteFile(HANDLE handle, LPCVOID bytes, DWORD count, LPDWORD written,
                   LPOVERLAPPED overlapped) override {
        return ::WriteFile(handle, bytes, count, written, overlapped);
    }
    BOOL ReadFile(HANDLE handle, LPVOID bytes, DWORD count, LPDWORD read,
                  LPOVERLAPPED overlapped) override {
        return ::ReadFile(handle, bytes, count, read, overlapped);
    }
    DWORD GetLastError() override { return ::GetLastError(); }
};

bool SameTimeouts(const COMMTIMEOUTS& a, const COMMTIMEOUTS& b) {
    return a.ReadIntervalTimeout == b.ReadIntervalTimeout &&
           a.ReadTotalTimeoutMultiplier == b.ReadTotalTimeoutMultiplier &&
           a.ReadTotalTimeoutConstant == b.ReadTotalTimeoutConstant &&
           a.WriteTotalTimeoutMultiplier == b.WriteTotalTimeoutMultiplier &&
           a.WriteTotalTimeoutConstant == b.WriteTotalTimeoutConstant;
}

// The read part of the time-outs for timeouts. All-zero read time-outs would
// mean no limit at all; a receive given no time at all takes only what has
// arrived.
void SetReadPart(COMMTIMEOUTS& record, ReadTimeouts timeouts) {
    // The driver counts whole milliseconds: a part of one waits a whole one.
    const uint32_t constantMs = timeouts.constantMs + (timeouts.extraNs > 0 ? 1 : 0);
    const bool noTime = timeouts.perByteMs == 0 && constantMs == 0;
    record.ReadIntervalTimeout = noTime ? MAXDWORD : 0;
    record.ReadTotalTimeoutMultiplier = timeouts.perByteMs;
    record.ReadTotalTimeoutConstant = constantMs;
}

// The line errors that spoil what was received: a framing or parity error, an
// overrun of the UART or of the driver's input queue, a break (the errors
// ClearCommError reports).
constexpr DWORD kReceiveErrors = CE_FRAME | CE_RXPARITY | CE_OVERRUN | CE_RXOVER | CE_BREAK;

// The port state Configure writes: what the port reported, with every field
// that acts on the line set over it. What is left as reported acts only with
// a feature turned off here: the flow-control limits (XonLim, XoffLim) only
// with input flow control, ErrorChar only with fErrorChar, EofChar only
// outside binary mode, EvtChar only for WaitCommEvent.
DCB LineState(DCB reported, const LineSettings& line) {
    DCB dcb = reported;
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = static_cast<DWORD>(line.baudRate);
    dcb.ByteSize = line.byteSize;
    dcb.Parity = line.parity;
    dcb.StopBits = line.stopBits;
    dcb.fBinary = TRUE;
    dcb.fParity = TRUE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;  // else bytes received while DSR is low are dropped
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    // Off: a receive checks the errors itself (Receive), which also holds on
    // drivers that ignore the flag, and a pending error cannot fail a purge.
    dcb.fAbortOnError = FALSE;
    dcb.wReserved = 0;
    dcb.XonChar = 0x11;  // SetCommState refuses equal XON and XOFF characters
    dcb.XoffChar = 0x13;
    return dcb;
}

// The errors with which a call on the port's handle fails once the device
// behind it is gone (a USB adapter unplugged): each driver has its own among
// them. A handle still open to a removed device keeps the driver from
// finishing its removal ("Processing a Request to Remove a Device" in the
// Win32 documentation: close every handle still open to it), and the
// replugged adapter may then fail to open.
bool DeviceGone(DWORD error) {
    switch (error) {
        case ERROR_BAD_COMMAND:
        case ERROR_DEVICE_REMOVED:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_ACCESS_DENIED:
        case ERROR_OPERATION_ABORTED:
        case ERROR_GEN_FAILURE:
            return true;
        default:
            return false;
    }
}

// The line errors of a ClearCommError report, by name.
std::string ErrorNames(DWORD errors) {
    constexpr struct {
        DWORD flag;
        const char* name;
    } kNames[] = {{CE_FRAME, "framing error"},
                  {CE_RXPARITY, "parity error"},
                  {CE_OVERRUN, "overrun"},
                  {CE_RXOVER, "receive queue overflow"},
                  {CE_BREAK, "break"}};
    std::string names;
    for (const auto& entry : kNames) {
        if ((errors & entry.flag) == 0) continue;
        if (!names.empty()) names += ", ";
        names += entry.name;
    }
    return names;
}

}  // namespace

Win32Calls& Win32Calls::System() {
    static SystemCalls calls;
    return calls;
}

Win32Device::~Win32Device() {
    Close();
}

uint32_t Win32Device::Open(const std::string& portName) {
    Close();
    const std::optional<std::string> path = DevicePathForPort(portName);
    if (!path) {
        return SerialPort::kErrorNotFound;
    }
    const HANDLE handle = calls_.CreateFileA(path->c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                             nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return LastError();
    }
    handle_ = handle;
    return SerialPort::kOk;
}

uint32_t Win32Device::Configure(const LineSettings& line) {
    if (!IsOpen()) {
        return SerialPort::kErrorBadConfig;
    }
    // The last user of the port may have left abort-on-error on: each request
    // goes first through ClearErrors, so that an error pending since then
    // cannot fail it.
    DCB reported{};
    reported.DCBlength = sizeof(DCB);
    if (!Purge(PURGE_TXCLEAR | PURGE_RXCLEAR) || !ClearErrors(nullptr) ||
        !calls_.GetCommState(handle_, &reported)) {
        return FailConfigure();
    }
    DCB wanted = LineState(reported, line);
    COMMTIMEOUTS timeouts{};
    SetReadPart(timeouts, ReadTimeouts{kReadTimeoutPerByteMs, kDefaultReadTimeoutMs});
    timeouts.WriteTotalTimeoutConstant = kDefaultReadTimeoutMs;
    timeoutsKnown_ = false;
    if (!ClearErrors(nullptr) || !calls_.SetCommState(handle_, &wanted) ||
        !ApplyTimeouts(timeouts)) {
        return FailConfigure();
    }
    return SerialPort::kOk;
}

uint32_t Win32Device::FailConfigure() {
    const uint32_t code = LastError();
    Close();
    return code;
}

uint32_t Win32Device::LastError() {
    const DWORD error = calls_.GetLastError();
    return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
}

uint32_t Win32Device::Failed() {
    const uint32_t error = LastError();
    if (DeviceGone(error)) Close();
    return error;
}

void Win32Device::Close() {
    if (!IsOpen()) {
        return;
    }
    calls_.CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    timeoutsKnown_ = false;
    receiveStale_ = false;
    transmitStale_ = false;
}

bool Win32Device::ClearErrors(DWORD* errors) {
    DWORD found = 0;
    COMSTAT status{};
    const bool ok = calls_.ClearCommError(handle_, &found, &status) != FALSE;
    if (errors != nullptr) *errors = found;
    if (!ok) Failed();
    return ok;
}

bool Win32Device::Purge(DWORD flags) {
    // A purge that fails says nothing about the device (a driver may refuse
    // it for a while); a ClearCommError that fails as a removed device does
    // closes the port.
    if (!ClearErrors(nullptr) && !IsOpen()) return false;
    return calls_.PurgeComm(handle_, flags) != FALSE;
}

void Win32Device::PurgeReceive() {
    if (IsOpen()) receiveStale_ = !Purge(PURGE_RXCLEAR);
}

void Win32Device::PurgeTransmit() {
    if (IsOpen()) transmitStale_ = !Purge(PURGE_TXCLEAR);
}

void Win32Device::ClearLineErrors() {
    if (IsOpen()) ClearErrors(nullptr);
}

bool Win32Device::ApplyTimeouts(const COMMTIMEOUTS& timeouts) {
    if (timeoutsKnown_ && SameTimeouts(timeouts, inForce_)) {
        return true;
    }
    COMMTIMEOUTS record = timeouts;
    timeoutsKnown_ = calls_.SetCommTimeouts(handle_, &record) != FALSE;
    inForce_ = timeouts;
    return timeoutsKnown_;
}

bool Win32Device::Send(std::span<const uint8_t> bytes, uint32_t boundMs) {
    if (!IsOpen()) {
        return false;
    }
    // Bytes of an earlier command that could not be discarded would go out
    // ahead of this one.
    if (transmitStale_ && !Purge(PURGE_TXCLEAR)) {
        return false;
    }
    transmitStale_ = false;
    COMMTIMEOUTS timeouts = inForce_;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = boundMs > 0 ? boundMs : 1;  // 0 would be no limit
    if (!ApplyTimeouts(timeouts)) {
        return false;
    }
    DWORD written = 0;
    if (!calls_.WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                          nullptr)) {
        Failed();
        return false;
    }
    // A write that ran out of time succeeds with fewer bytes written.
    return written == bytes.size();
}

int32_t Win32Device::Receive(std::span<uint8_t> buffer, ReadTimeouts timeouts) {
    // What waits in a queue that could not be purged may be from before the
    // command: none of it counts as an answer.
    if (!IsOpen() || receiveStale_) {
        failure_ = IsOpen() ? "receive queue not purged" : "port closed";
        return -1;
    }
    COMMTIMEOUTS record = inForce_;
    SetReadPart(record, timeouts);
    if (!ApplyTimeouts(record)) {
        failure_ = FailureText("SetCommTimeouts", LastError());
        return -1;
    }
    DWORD received = 0;
    if (!calls_.ReadFile(handle_, buffer.data(), static_cast<DWORD>(buffer.size()), &received,
                         nullptr)) {
        failure_ = FailureText("ReadFile", Failed());
        return -1;
    }
    // Without abort-on-error a spoiled byte is read like any other; the error
    // it raised shows here.
    DWORD errors = 0;
    if (!ClearErrors(&errors)) {
        failure_ = FailureText("ClearCommError", LastError());
        return -1;
    }
    if ((errors & kReceiveErrors) != 0) {
        failure_ = ErrorNames(errors) + " after " + std::to_string(received) + " bytes";
        return -1;
    }
    return static_cast<int32_t>(received);
}

int32_t Win32Device::ReceiveQueued() {
    DWORD errors = 0;
    COMSTAT status{};
    if (!IsOpen()) return -1;
    if (!calls_.ClearCommError(handle_, &errors, &status)) {
        Failed();
        return -1;
    }
    return static_cast<int32_t>(status.cbInQue);
}

std::string Win32Device::FailureText(const char* call, uint32_t error) const {
    return std::string(call) + " failed, error " + std::to_string(error) +
           (IsOpen() ? "" : ": the device is gone, the port closed");
}

}  // namespace zul
