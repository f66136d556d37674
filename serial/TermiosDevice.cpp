#include "serial/TermiosDevice.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>
#include <utility>

#include "serial/ParityMarking.h"
#include "serial/PortNames.h"
#include "serial/SerialPort.h"
#include "serial/TermiosClaim.h"

namespace zul {

namespace {

constexpr uint32_t kOk = SerialPort::kOk;
constexpr uint32_t kErrorNotFound = SerialPort::kErrorNotFound;
constexpr uint32_t kErrorInUse = SerialPort::kErrorInUse;
constexpr uint32_t kErrorBadConfig = SerialPort::kErrorBadConfig;

struct BaudCode {
    int32_t baudRate;
    speed_t speed;
};

constexpr std::array<BaudCode, 5> kBaudCodes{{
    {1200, B1200},
    {2400, B2400},
    {9600, B9600},
    {19200, B19200},
    {38400, B38400},
}};

std::optional<speed_t> SpeedFor(int32_t baudRate) {
    for (const BaudCode& code : kBaudCodes) {
        if (code.baudRate == baudRate) {
            return code.speed;
        }
    }
    return std::nullopt;
}

// One wait of a loop that watches the clock: the time left, to the
// nanosecond, but at most `most`. The kernel lets a sleeping poll overrun by
// up to 0.1 % of its length (timer slack), so one wait for a whole 2000 ms
// time-out would come back 2 ms late; slices of 50 ms keep the overrun near
// 50 us.
timespec PollSlice(int64_t remainingNs, int64_t mostNs = 50'000'000) {
    const int64_t ns = std::min(remainingNs, mostNs);
    return timespec{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}

// Retries a call that failed with EINTR.
template <typename F>
auto RetryEintr(F call) {
    for (;;) {
        auto result = call();
        if (result >= 0 || errno != EINTR) {
            return result;
        }
    }
}

}  // namespace

TermiosDevice::TermiosDevice(TermiosCalls& calls)
    : sys_(calls), ownClaim_(std::make_unique<TermiosClaim>(calls)), claim_(*ownClaim_) {}

TermiosDevice::TermiosDevice(TermiosCalls& calls, PortClaim& claim) : sys_(calls), claim_(claim) {}

TermiosDevice::~TermiosDevice() {
    Close();
}

uint32_t TermiosDevice::ErrorCodeForErrno(int error) {
    switch (error) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return kErrorNotFound;
        case EBUSY:
        case EACCES:
        case EPERM:
        case EWOULDBLOCK:
            return kErrorInUse;
        case EINVAL:
        case ENOTTY:
            return kErrorBadConfig;
        default:
            return static_cast<uint32_t>(error);
    }
}

uint32_t TermiosDevice::Open(const std::string& portName) {
    Close();
    const std::optional<std::string> path = DevicePathForPort(portName);
    if (!path) {
        return kErrorNotFound;
    }
    const int fd = RetryEintr(
        [&] { return sys_.Open(path->c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, 0); });
    if (fd < 0) {
        return ErrorCodeForErrno(errno);
    }
    fd_ = fd;
    PortClaim::Line line;
    const uint32_t code = claim_.Take(fd_, *path, line);
    claimed_ = true;
    if (code != kOk) {
        Close();
        return code;
    }
    pseudoTerminal_ = line.pseudoTerminal;
    delivery_ = line.delivery;
    return kOk;
}

uint32_t TermiosDevice::Configure(const LineSettings& line) {
    if (fd_ < 0) {
        return kErrorBadConfig;
    }
    termios tio{};
    if (sys_.TcGetAttr(fd_, &tio) != 0) {
        const int error = errno;
        Close();
        return ErrorCodeForErrno(error);
    }
    const std::optional<speed_t> speed = SpeedFor(line.baudRate);
    const bool lineValid =
        speed && line.byteSize == 8 &&
        (line.parity == kNoParity || line.parity == kOddParity || line.parity == kEvenParity) &&
        (line.stopBits == kOneStopBit || line.stopBits == kTwoStopBits);
    if (!lineValid) {
        Close();
        return kErrorBadConfig;
    }
    sys_.TcFlush(fd_, TCIOFLUSH);

    // Raw 8-bit bytes in both directions, no flow control, no translation.
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP |
                                          INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | IMAXBEL);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | CMSPAR);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    // Line errors on receipt (parity, framing, break) reach us marked, never
    // replaced, with parity checking on or off, so a bad byte fails the read.
    tio.c_iflag |= INPCK | PARMRK;
    if (line.parity != kNoParity) {
        tio.c_cflag |= PARENB;
        if (line.parity == kOddParity) {
            tio.c_cflag |= PARODD;
        }
    }
    if (line.stopBits == kTwoStopBits) {
        tio.c_cflag |= CSTOPB;
    }
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, *speed);
    cfsetospeed(&tio, *speed);
    if (sys_.TcSetAttr(fd_, TCSANOW, &tio) != 0) {
        const int error = errno;
        if (error != EINVAL || !pseudoTerminal_ || !TookAllButParity(tio)) {
            Close();
            return ErrorCodeForErrno(error);
        }
    }
    // DTR and RTS on while the port is open; a pseudo-terminal has neither.
    int lines = TIOCM_DTR | TIOCM_RTS;
    sys_.Ioctl(fd_, TIOCMBIS, &lines);

    // A USB adapter holds received bytes up to 16 ms unless asked for low
    // latency (ftdi_sio then sets its latency timer to 1 ms); a driver that
    // refuses, or does not keep the flag, keeps its own pace.
    serial_struct info{};
    if (sys_.Ioctl(fd_, TIOCGSERIAL, &info) == 0) {
        if ((info.flags & ASYNC_LOW_LATENCY) == 0) {
            info.flags |= ASYNC_LOW_LATENCY;
            lowLatencyGranted_ = sys_.Ioctl(fd_, TIOCSSERIAL, &info) == 0 &&
                                 sys_.Ioctl(fd_, TIOCGSERIAL, &info) == 0 &&
                                 (info.flags & ASYNC_LOW_LATENCY) != 0;
        }
        if (delivery_.ms > 0 && delivery_.byteTimes == 0 && (info.flags & ASYNC_LOW_LATENCY) != 0) {
            delivery_.ms = 1;
        }
    }
    return kOk;
}

// The driver keeps the flag for every later user of the port (ftdi_sio its
// 1 ms latency timer): what we asked for is given back.
void TermiosDevice::GiveBackLowLatency() {
    if (!std::exchange(lowLatencyGranted_, false)) {
        return;
    }
    serial_struct info{};
    if (sys_.Ioctl(fd_, TIOCGSERIAL, &info) == 0) {
        info.flags &= ~ASYNC_LOW_LATENCY;
        sys_.Ioctl(fd_, TIOCSSERIAL, &info);
    }
}

// The C library turns a successful tcsetattr into EINVAL when the device
// dropped the parity bits of the request, as a pseudo-terminal does; it lets
// the same request pass on the first configuration of the line (when other
// settings change too) and refuses it from then on, so the second opening of
// the same line failed. True when the device holds everything asked for
// except parity, which such a line does not have.
bool TermiosDevice::TookAllButParity(const termios& wanted) {
    termios now{};
    if (sys_.TcGetAttr(fd_, &now) != 0) {
        return false;
    }
    constexpr tcflag_t kParityBits = PARENB | PARODD;
    return now.c_iflag == wanted.c_iflag && now.c_oflag == wanted.c_oflag &&
           now.c_lflag == wanted.c_lflag &&
           (now.c_cflag & ~kParityBits) == (wanted.c_cflag & ~kParityBits) &&
           now.c_cc[VMIN] == wanted.c_cc[VMIN] && now.c_cc[VTIME] == wanted.c_cc[VTIME];
}

void TermiosDevice::Close() {
    if (fd_ < 0) {
        return;
    }
    GiveBackLowLatency();
    if (std::exchange(claimed_, false)) claim_.Release(fd_);
    sys_.Close(fd_);
    fd_ = -1;
    pseudoTerminal_ = false;
    delivery_ = ReceiveDelay{};
}

void TermiosDevice::PurgeReceive() {
    if (fd_ >= 0) sys_.TcFlush(fd_, TCIFLUSH);
}

void TermiosDevice::PurgeTransmit() {
    if (fd_ >= 0) sys_.TcFlush(fd_, TCOFLUSH);
}

bool TermiosDevice::Send(std::span<const uint8_t> bytes, uint32_t boundMs) {
    if (fd_ < 0) {
        return false;
    }
    const int64_t deadline = sys_.NowNs() + static_cast<int64_t>(boundMs) * 1'000'000;
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = RetryEintr(
            [&] { return sys_.Write(fd_, bytes.data() + written, bytes.size() - written); });
        if (n > 0) {
            written += static_cast<size_t>(n);
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            if (n < 0 && (errno == EIO || errno == ENODEV || errno == ENXIO)) {
                Close();  // hung up
            }
            return false;
        }
        const int64_t remaining = deadline - sys_.NowNs();
        if (remaining <= 0) {
            return false;
        }
        pollfd pfd{fd_, POLLOUT, 0};
        const timespec slice = PollSlice(remaining);
        const int ready = sys_.Poll(&pfd, 1, &slice);
        if (ready > 0 && (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            Close();  // hung up
            return false;
        }
        if (ready < 0 && errno != EINTR) {
            return false;
        }
    }
    return WaitUntilSent(deadline);
}

// Waits until the driver's output queue is empty, looking every half
// millisecond, at most until deadline. tcdrain cannot be bounded: on a
// wedged or unplugged USB adapter it would block the window for good.
bool TermiosDevice::WaitUntilSent(int64_t deadline) {
    constexpr int64_t kLookNs = 500'000;
    for (;;) {
        int queued = 0;
        if (sys_.Ioctl(fd_, TIOCOUTQ, &queued) != 0) {
            if (errno == EIO || errno == ENODEV || errno == ENXIO) {
                Close();  // hung up while the bytes drained
            }
            return false;
        }
        if (queued <= 0) {
            return true;
        }
        const int64_t remaining = deadline - sys_.NowNs();
        if (remaining <= 0) {
            return false;
        }
        const timespec pause = PollSlice(remaining, kLookNs);
        sys_.Poll(nullptr, 0, &pause);
    }
}

int32_t TermiosDevice::ReceiveQueued() {
    int queued = 0;
    if (fd_ < 0 || sys_.Ioctl(fd_, FIONREAD, &queued) != 0) return -1;
    return queued;
}

int32_t TermiosDevice::Receive(std::span<uint8_t> buffer, ReadTimeouts timeouts) {
    if (fd_ < 0) {
        failure_ = "port closed";
        return -1;
    }
    const size_t count = buffer.size();
    const int64_t deadline = sys_.NowNs() + timeouts.TotalNs(count);

    ParityMarkDecoder decoder;
    std::array<uint8_t, 256> raw{};
    size_t received = 0;
    while (received < count) {
        // At the deadline one last look without waiting takes what has
        // arrived, so that a receive given no time still sees it.
        const int64_t remaining = std::max<int64_t>(deadline - sys_.NowNs(), 0);
        pollfd pfd{fd_, POLLIN, 0};
        const timespec slice = PollSlice(remaining);
        const int ready = sys_.Poll(&pfd, 1, &slice);
        if (ready == 0 && remaining == 0) {
            break;
        }
        if (ready == 0 || (ready < 0 && errno == EINTR)) {
            continue;  // the loop looks at the clock again
        }
        if (ready < 0) {
            failure_ = std::string("poll failed: ") + std::strerror(errno);
            return -1;
        }
        if ((pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            Close();  // hung up
            failure_ = "hang-up";
            return -1;
        }
        // Never more raw bytes than still wanted: each raw byte yields at
        // most one received byte, so nothing beyond the count is taken.
        const ssize_t n = sys_.Read(fd_, raw.data(), std::min(count - received, raw.size()));
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
            continue;
        }
        if (n <= 0) {
            // A read error, or readable yet empty: the device has gone (a
            // hung-up line).
            failure_ = n < 0 ? std::string("read error: ") + std::strerror(errno) : "hang-up";
            Close();
            return -1;
        }
        for (const uint8_t byte : std::span(raw).first(static_cast<size_t>(n))) {
            const ParityMarkDecoder::Result result = decoder.Feed(byte);
            if (result.kind == ParityMarkDecoder::Kind::kLineError) {
                char text[64];
                std::snprintf(
                    text, sizeof text, "%s after %zu bytes (byte %02X)",
                    result.byte == 0 ? "break or framing error" : "parity or framing error",
                    received, result.byte);
                failure_ = text;
                return -1;
            }
            if (result.kind == ParityMarkDecoder::Kind::kByte) {
                buffer[received++] = result.byte;
            }
        }
    }
    return static_cast<int32_t>(received);
}

}  // namespace zul
