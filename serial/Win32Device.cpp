#include "serial/Win32Device.h"

#include <optional>

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
    const bool noTime = timeouts.perByteMs == 0 && timeouts.constantMs == 0;
    record.ReadIntervalTimeout = noTime ? MAXDWORD : 0;
    record.ReadTotalTimeoutMultiplier = timeouts.perByteMs;
    record.ReadTotalTimeoutConstant = timeouts.constantMs;
}

// The port state Configure writes: what the port reported, with the line
// configuration set over it.
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
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = TRUE;
    return dcb;
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
    calls_.PurgeComm(handle_, PURGE_TXCLEAR | PURGE_RXCLEAR);
    DCB reported{};
    reported.DCBlength = sizeof(DCB);
    calls_.GetCommState(handle_, &reported);  // a port that reports nothing gets the fields set
    DCB wanted = LineState(reported, line);
    COMMTIMEOUTS timeouts{};
    SetReadPart(timeouts, ReadTimeouts{kReadTimeoutPerByteMs, kDefaultReadTimeoutMs});
    timeouts.WriteTotalTimeoutConstant = kDefaultReadTimeoutMs;
    timeoutsKnown_ = false;
    if (!calls_.SetCommState(handle_, &wanted) || !ApplyTimeouts(timeouts)) {
        const uint32_t code = LastError();
        Close();
        return code;
    }
    return SerialPort::kOk;
}

uint32_t Win32Device::LastError() {
    const DWORD error = calls_.GetLastError();
    return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
}

void Win32Device::Close() {
    if (!IsOpen()) {
        return;
    }
    calls_.CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    timeoutsKnown_ = false;
}

void Win32Device::PurgeReceive() {
    if (IsOpen()) calls_.PurgeComm(handle_, PURGE_RXCLEAR);
}

void Win32Device::PurgeTransmit() {
    if (IsOpen()) calls_.PurgeComm(handle_, PURGE_TXCLEAR);
}

void Win32Device::ClearLineErrors() {
    if (!IsOpen()) return;
    DWORD errors = 0;
    COMSTAT status{};
    calls_.ClearCommError(handle_, &errors, &status);
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
    COMMTIMEOUTS timeouts = inForce_;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = boundMs > 0 ? boundMs : 1;  // 0 would be no limit
    if (!ApplyTimeouts(timeouts)) {
        return false;
    }
    DWORD written = 0;
    const BOOL ok = calls_.WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()),
                                     &written, nullptr);
    // A write that ran out of time succeeds with fewer bytes written.
    return ok && written == bytes.size();
}

int32_t Win32Device::Receive(std::span<uint8_t> buffer, ReadTimeouts timeouts) {
    if (!IsOpen()) {
        return -1;
    }
    COMMTIMEOUTS record = inForce_;
    SetReadPart(record, timeouts);
    if (!ApplyTimeouts(record)) {
        return -1;
    }
    DWORD received = 0;
    if (!calls_.ReadFile(handle_, buffer.data(), static_cast<DWORD>(buffer.size()), &received,
                         nullptr)) {
        return -1;
    }
    return static_cast<int32_t>(received);
}

}  // namespace zul
