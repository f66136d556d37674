#pragma once

#include <errno.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>
#include <termios.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "serial/TermiosCalls.h"

namespace zul::test {

// A model of a serial driver and the few files around it, behind the
// termios device's system calls, on a clock of its own that moves only
// while the device waits. What it models, with where the behaviour comes
// from:
// - A byte written leaves the line one byte time after the one before it.
// - TIOCOUTQ counts what the driver still holds, not what it has handed on.
//   An 8250 counts its transmit buffer and not the 16-byte FIFO
//   (drivers/tty/serial/serial_core.c, uart_chars_in_buffer); usb-serial
//   counts its FIFO and the bulk transfer in flight, which completes once
//   the adapter has the bytes (drivers/usb/serial/generic.c,
//   usb_serial_generic_chars_in_buffer): here within the 1 ms USB frame.
// - Received bytes reach the receive queue late. A 16550A interrupts at its
//   FIFO trigger level of 8 bytes (UART_FCR_R_TRIG_10 in
//   drivers/tty/serial/8250/8250_port.c, uart_config) or after its receive
//   time-out of four character times without a new byte (16550A data
//   sheet). An FTDI adapter sends what it received when its latency timer
//   runs out, 16 ms, or 1 ms once ASYNC_LOW_LATENCY is set
//   (drivers/usb/serial/ftdi_sio.c, write_latency_timer; FTDI application
//   note AN232B-04).
// - A receive purge drops what reached the queue, never what is still in the
//   FIFO or the adapter (tcflush empties the line discipline's buffer,
//   drivers/tty/tty_ioctl.c, tty_perform_flush).
// - TIOCGSERIAL: an 8250 node reports its UART's type, PORT_UNKNOWN where
//   none is behind it. Such a node opens, but its start-up leaves the tty's
//   I/O error flag set, so termios calls and writes fail with EIO
//   (drivers/tty/serial/serial_core.c, uart_port_startup and uart_ioctl;
//   TIOCGSERIAL is answered before, through ->get_serial). The usb-serial
//   core and cdc-acm never fill in a type
//   (drivers/usb/serial/usb-serial.c, serial_get_serial;
//   drivers/usb/class/cdc-acm.c, get_serial_info), so a USB node reads 0.
// - /proc/<pid>/fd/N links read as the path of the open file
//   (Documentation/filesystems/proc.rst); /sys/dev/char/M:m/device/driver
//   links name the driver (Documentation/ABI/testing/sysfs-dev).
// - Lock files: /run/lock is sticky and world-writable, so a file there can
//   be removed only by its owner or root (unlink(2), EPERM); a lock file
//   may be a symbolic link, which open with O_NOFOLLOW refuses (ELOOP).
// - A hang-up (an adapter unplugged: usb_serial_disconnect hangs up its tty,
//   drivers/usb/serial/usb-serial.c; the far end of a line gone): the open
//   file takes the hung-up file operations (drivers/tty/tty_io.c,
//   hung_up_tty_fops): a read returns 0 (hung_up_tty_read), a write fails
//   with EIO (hung_up_tty_write), poll reports EPOLLIN | EPOLLOUT |
//   EPOLLERR | EPOLLHUP (hung_up_tty_poll), and every ioctl, the termios
//   calls and tcflush among them, fails with EIO (hung_up_tty_ioctl; ENOTTY
//   for TIOCSPGRP). The descriptor stays open until it is closed, and with
//   it the flock on it (flock(2): the lock goes with the last descriptor).
class FakeDriver final : public TermiosCalls {
public:
    static constexpr int kDeviceFd = 100;
    static constexpr int64_t kMs = 1'000'000;
    static constexpr unsigned kUartMajor = 4;   // ttyS
    static constexpr unsigned kUsbMajor = 188;  // ttyUSB
    static constexpr unsigned kAcmMajor = 166;  // ttyACM

    struct Device {
        unsigned major = kUsbMajor;
        unsigned minor = 0;
        // TIOCGSERIAL on a UART: its port type. USB nodes always read 0.
        int portType = PORT_16550A;
        // TIOCGSERIAL not offered at all.
        bool noSerialInfo = false;
        bool IsUart() const { return major == kUartMajor || uartDriver; }
        bool uartDriver = false;  // a UART on another major (sysfs names serial8250)
    };
    // An answer: its bytes, starting delayNs after the command left.
    struct Answer {
        std::vector<uint8_t> bytes;
        int64_t delayNs = 2 * kMs;
    };

    // The devices by path, links by path, and the rest of the world.
    std::map<std::string, Device> devices{{"/dev/ttyUSB0", Device{}}};
    std::map<std::string, std::string> links;
    std::map<pid_t, std::vector<std::string>> holders;  // pid -> paths it opened
    std::set<pid_t> living{1};
    std::map<std::string, std::string> files;  // lock files by path
    std::map<std::string, uid_t> fileOwners;   // their owners (the caller when not listed)
    std::set<std::string> symlinkFiles;        // lock paths that are symbolic links
    pid_t self = 4242;
    uid_t uid = 1000;  // the caller: an operator in dialout

    int64_t byteTimeNs = 1'145'834;  // 9600 baud, 11 bits
    bool wedgedDriver = false;       // the driver never hands bytes on
    bool wedgedAdapter = false;      // the adapter takes bytes and never sends them
    // The unit: what it answers to each command, in order of the commands.
    std::function<std::vector<Answer>(uint8_t command, int index)> unit = [](uint8_t, int) {
        return std::vector<Answer>{};
    };

    // What the device saw, in order: "write XX", "purge in", "purge out",
    // "read N" (N bytes taken).
    std::vector<std::string> log;
    std::vector<uint8_t> commands;
    unsigned long serialFlags = 0;
    int64_t procLinkNs = 0;  // what reading one /proc/<pid>/fd link costs

    int64_t now = 0;
    // When the line hangs up, on the model's clock (never by default).
    int64_t hangUpAt = INT64_MAX;
    void HangUp() { hangUpAt = now; }
    // Whether the device's descriptor holds its flock.
    bool flockHeld = false;

    int Open(const char* path, int flags, mode_t) override {
        const std::string name = Resolve(path);
        if (devices.count(name) != 0) {
            if (open_) return Fail(EBUSY);
            open_ = true;
            openPath_ = name;
            return kDeviceFd;
        }
        if (name.rfind("/run/lock/", 0) != 0 && name.rfind("/var/lock/", 0) != 0) {
            return Fail(ENOENT);
        }
        const bool exists = files.count(name) != 0;
        if ((flags & O_CREAT) != 0 && (flags & O_EXCL) != 0 && exists) return Fail(EEXIST);
        if ((flags & O_NOFOLLOW) != 0 && symlinkFiles.count(name) != 0) return Fail(ELOOP);
        if ((flags & O_CREAT) == 0 && !exists) return Fail(ENOENT);
        if (name.rfind("/var/lock/", 0) == 0 && !exists) return Fail(EACCES);
        if (!exists) fileOwners[name] = uid;
        files[name];
        const int fd = nextFileFd_++;
        openFiles_[fd] = name;
        return fd;
    }
    int Close(int fd) override {
        if (fd == kDeviceFd) {
            open_ = false;
            flockHeld = false;
            return 0;
        }
        return openFiles_.erase(fd) != 0 ? 0 : Fail(EBADF);
    }
    ssize_t Read(int fd, void* buffer, size_t size) override {
        if (fd != kDeviceFd) {
            const std::string& text = files[openFiles_[fd]];
            const size_t n = std::min(size, text.size());
            std::memcpy(buffer, text.data(), n);
            return static_cast<ssize_t>(n);
        }
        if (HungUp()) {
            log.push_back("read 0 (hung up)");
            return 0;
        }
        size_t n = 0;
        auto* out = static_cast<uint8_t*>(buffer);
        while (n < size && !received_.empty() && received_.front().delivered <= now) {
            out[n++] = received_.front().byte;
            received_.pop_front();
        }
        log.push_back("read " + std::to_string(n));
        if (n == 0) return Fail(EAGAIN);
        return static_cast<ssize_t>(n);
    }
    ssize_t Write(int fd, const void* bytes, size_t size) override {
        const auto* in = static_cast<const uint8_t*>(bytes);
        if (fd != kDeviceFd) {
            files[openFiles_[fd]].append(reinterpret_cast<const char*>(in), size);
            return static_cast<ssize_t>(size);
        }
        if (Phantom() || HungUp()) return Fail(EIO);
        for (size_t i = 0; i < size; ++i) {
            char text[16];
            std::snprintf(text, sizeof text, "write %02X", in[i]);
            log.push_back(text);
            lineFreeAt_ = std::max(lineFreeAt_, now) + byteTimeNs;
            sending_.push_back({lineFreeAt_, in[i]});
        }
        handedOnAt_ = now + kUsbFrameNs;
        return static_cast<ssize_t>(size);
    }
    int Ioctl(int fd, unsigned long request, void* argument) override {
        if (fd != kDeviceFd) return Fail(ENOTTY);
        if (HungUp()) return Fail(request == TIOCSPGRP ? ENOTTY : EIO);
        const Device& device = devices[openPath_];
        switch (request) {
            case TIOCOUTQ:
                Advance(now);
                *static_cast<int*>(argument) = OutputQueued(device);
                return 0;
            case TIOCGSERIAL: {
                if (device.noSerialInfo) return Fail(ENOTTY);
                serial_struct info{};
                info.type = device.IsUart() ? device.portType : PORT_UNKNOWN;
                info.flags = static_cast<int>(serialFlags);
                *static_cast<serial_struct*>(argument) = info;
                return 0;
            }
            case TIOCSSERIAL:
                if (device.noSerialInfo) return Fail(ENOTTY);
                serialFlags =
                    static_cast<unsigned long>(static_cast<serial_struct*>(argument)->flags);
                return 0;
            default:
                return 0;
        }
    }
    int Flock(int fd, int operation) override {
        if (fd == kDeviceFd) flockHeld = (operation & LOCK_EX) != 0;
        return 0;
    }
    int TcGetAttr(int, termios* tio) override {
        if (Phantom() || HungUp()) return Fail(EIO);
        *tio = tio_;
        return 0;
    }
    int TcSetAttr(int, int, const termios* tio) override {
        if (Phantom() || HungUp()) return Fail(EIO);
        tio_ = *tio;
        return 0;
    }
    int TcFlush(int, int queue) override {
        Advance(now);
        if (HungUp()) return Fail(EIO);
        if (queue == TCIFLUSH || queue == TCIOFLUSH) {
            log.push_back("purge in");
            while (!received_.empty() && received_.front().delivered <= now) {
                received_.pop_front();
            }
        }
        if (queue == TCOFLUSH || queue == TCIOFLUSH) {
            log.push_back("purge out");
            sending_.clear();
            lineFreeAt_ = now;
        }
        return 0;
    }
    int Fstat(int fd, struct stat* st) override {
        if (fd != kDeviceFd) return Fail(EBADF);
        *st = CharDevice(devices[openPath_]);
        return 0;
    }
    int Poll(pollfd* fds, nfds_t count, const timespec* timeout) override {
        const int64_t limit = timeout == nullptr
                                  ? INT64_MAX
                                  : now + timeout->tv_sec * 1'000'000'000LL + timeout->tv_nsec;
        Advance(now);
        for (;;) {
            if (count > 0 && HungUp()) {
                fds[0].revents = POLLIN | POLLOUT | POLLERR | POLLHUP;
                return 1;
            }
            if (count > 0 && (fds[0].events & POLLOUT) != 0) {
                fds[0].revents = POLLOUT;
                return 1;
            }
            if (count > 0 && !received_.empty() && received_.front().delivered <= now) {
                fds[0].revents = POLLIN;
                return 1;
            }
            const int64_t next = std::min(limit, NextEvent());
            if (next == INT64_MAX) return 0;  // nothing will ever happen
            Advance(next);
            if (now >= limit) return 0;
        }
    }
    int64_t NowNs() override { return now; }
    std::string ReadLink(const char* path) override {
        const std::string p = path;
        for (const auto& [pid, held] : holders) {
            const std::string prefix = "/proc/" + std::to_string(pid) + "/fd/";
            if (p.rfind(prefix, 0) == 0) {
                now += procLinkNs;
                const size_t index = std::stoul(p.substr(prefix.size()));
                return index < held.size() ? Resolve(held[index].c_str()) : std::string();
            }
        }
        const auto link = links.find(p);
        return link != links.end() ? link->second : std::string();
    }
    int Unlink(const char* path) override {
        if (files.count(path) == 0) return Fail(ENOENT);
        const auto owner = fileOwners.find(path);
        if (uid != 0 && owner != fileOwners.end() && owner->second != uid) return Fail(EPERM);
        files.erase(path);
        symlinkFiles.erase(path);
        return 0;
    }
    std::vector<std::string> ListDirectory(const char* path) override {
        std::vector<std::string> names;
        const std::string p = path;
        if (p == "/proc") {
            names = {"self", "sys"};
            for (const auto& [pid, held] : holders) names.push_back(std::to_string(pid));
            names.push_back(std::to_string(self));
        }
        for (const auto& [pid, held] : holders) {
            if (p == "/proc/" + std::to_string(pid) + "/fd") {
                for (size_t i = 0; i < held.size(); ++i) names.push_back(std::to_string(i));
            }
        }
        return names;
    }
    std::string RealPath(const char* path) override { return Resolve(path); }
    int Kill(pid_t pid, int) override { return living.count(pid) != 0 ? 0 : Fail(ESRCH); }
    pid_t GetPid() override { return self; }

    bool deviceOpen() const { return open_; }

private:
    static constexpr int64_t kUsbFrameNs = 1 * kMs;
    static constexpr size_t kUartFifoBytes = 16;
    static constexpr size_t kUartRxTrigger = 8;
    static constexpr int kUartTimeoutByteTimes = 4;

    struct Incoming {
        int64_t wire;       // when it came off the line
        int64_t delivered;  // when it reaches the receive queue
        uint8_t byte;
    };

    static int Fail(int error) {
        errno = error;
        return -1;
    }
    std::string Resolve(const char* path) const {
        const auto link = links.find(path);
        return link != links.end() ? link->second : std::string(path);
    }
    static struct stat CharDevice(const Device& device) {
        struct stat st {};
        st.st_mode = S_IFCHR | 0660;
        st.st_rdev = makedev(device.major, device.minor);
        return st;
    }
    bool Usb() const { return !devices.at(openPath_).IsUart(); }
    bool Phantom() const {
        const Device& device = devices.at(openPath_);
        return device.IsUart() && device.portType == PORT_UNKNOWN;
    }
    int64_t LatencyNs() const {
        return (serialFlags & ASYNC_LOW_LATENCY) != 0 ? 1 * kMs : 16 * kMs;
    }
    bool Stuck() const { return wedgedDriver || (wedgedAdapter && Usb()); }
    bool HungUp() const { return open_ && now >= hangUpAt; }

    int OutputQueued(const Device& device) const {
        if (wedgedDriver) return static_cast<int>(std::max<size_t>(sending_.size(), 1));
        if (!device.IsUart()) return now < handedOnAt_ ? static_cast<int>(sending_.size()) : 0;
        return static_cast<int>(sending_.size() > kUartFifoBytes ? sending_.size() - kUartFifoBytes
                                                                 : 0);
    }

    // When each byte still on its way reaches the queue, from when it came
    // off the line (see the list above).
    void Deliver() {
        const size_t first = static_cast<size_t>(
            std::find_if(received_.begin(), received_.end(),
                         [&](const Incoming& in) { return in.delivered > now; }) -
            received_.begin());
        if (Usb()) {
            const int64_t latency = LatencyNs();
            for (size_t i = first; i < received_.size(); ++i) {
                received_[i].delivered = (received_[i].wire / latency + 1) * latency;
            }
            return;
        }
        const int64_t timeout = kUartTimeoutByteTimes * byteTimeNs;
        size_t start = first;
        for (size_t i = first; i < received_.size(); ++i) {
            const bool last = i + 1 == received_.size();
            const bool trigger = i + 1 - start >= kUartRxTrigger;
            const bool gap = last || received_[i + 1].wire > received_[i].wire + timeout;
            if (trigger || gap) {
                const int64_t at = trigger ? received_[i].wire : received_[i].wire + timeout;
                for (size_t j = start; j <= i; ++j) received_[j].delivered = at;
                start = i + 1;
            }
        }
    }

    // The next moment after now at which something changes.
    int64_t NextEvent() const {
        int64_t next = INT64_MAX;
        if (!sending_.empty() && !Stuck()) next = sending_.front().first;
        for (const Incoming& in : received_) {
            if (in.delivered > now) next = std::min(next, in.delivered);
        }
        if (handedOnAt_ > now) next = std::min(next, handedOnAt_);
        if (hangUpAt > now) next = std::min(next, hangUpAt);
        return next;
    }
    // Moves the clock to t: bytes leave the line, the unit answers them.
    void Advance(int64_t t) {
        bool answered = false;
        while (!Stuck() && !sending_.empty() && sending_.front().first <= t) {
            const auto [leftAt, command] = sending_.front();
            sending_.pop_front();
            const int index = static_cast<int>(commands.size());
            commands.push_back(command);
            for (const Answer& answer : unit(command, index)) {
                int64_t at = leftAt + answer.delayNs;
                for (uint8_t byte : answer.bytes) {
                    at += byteTimeNs;
                    received_.push_back({at, INT64_MAX, byte});
                }
            }
            answered = true;
        }
        if (answered) {
            std::stable_sort(
                received_.begin(), received_.end(), [](const Incoming& a, const Incoming& b) {
                    return a.delivered != b.delivered ? a.delivered < b.delivered : a.wire < b.wire;
                });
            Deliver();
        }
        now = std::max(now, t);
    }

    bool open_ = false;
    std::string openPath_;
    termios tio_{};
    int nextFileFd_ = 200;
    std::map<int, std::string> openFiles_;
    int64_t lineFreeAt_ = 0;
    int64_t handedOnAt_ = 0;
    std::deque<std::pair<int64_t, uint8_t>> sending_;
    std::deque<Incoming> received_;
};

}  // namespace zul::test
