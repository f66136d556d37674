#pragma once

#include <errno.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>
#include <termios.h>

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
// while the device waits. What it models is what drivers do:
// - a byte written leaves the line one byte time after the one before it;
//   the output queue counts it until then, plus reportLagNs (a USB adapter
//   learns its queue is empty through a later control transfer);
// - the unit answers a command when the command has left the line; its
//   answer bytes arrive one byte time apart and sit in the receive queue;
// - a receive purge drops what has arrived, not what is still on the wire;
// - the driver's port type (an 8250 node with no UART reports none), the
//   processes holding a device (/proc/<pid>/fd), and UUCP lock files.
class FakeDriver final : public TermiosCalls {
public:
    static constexpr int kDeviceFd = 100;
    static constexpr int64_t kMs = 1'000'000;

    struct Device {
        unsigned major = 188;  // ttyUSB
        unsigned minor = 0;
        // TIOCGSERIAL: the port type, or -1 when the driver does not answer.
        int portType = PORT_16550A;
    };
    // An answer: its bytes, starting delayNs after the command left.
    struct Answer {
        std::vector<uint8_t> bytes;
        int64_t delayNs = 2 * kMs;
    };

    // The devices by path, links by path, and the rest of the world.
    std::map<std::string, Device> devices{{"/dev/ttyUSB0", Device{}}};
    std::map<std::string, std::string> links;
    std::map<pid_t, std::vector<std::string>> holders;  // pid -> devices it has open
    std::set<pid_t> living{1};
    std::map<std::string, std::string> files;  // lock files
    pid_t self = 4242;

    int64_t byteTimeNs = 1'145'834;  // 9600 baud, 11 bits
    int64_t reportLagNs = 0;
    bool wedged = false;  // nothing ever leaves
    // The unit: what it answers to each command, in order of the commands.
    std::function<std::vector<Answer>(uint8_t command, int index)> unit = [](uint8_t, int) {
        return std::vector<Answer>{};
    };

    // What the device saw, in order: "write XX", "purge in", "purge out",
    // "read N" (N bytes taken).
    std::vector<std::string> log;
    std::vector<uint8_t> commands;
    unsigned long serialFlags = 0;

    int64_t now = 0;

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
        if ((flags & O_CREAT) == 0 && !exists) return Fail(ENOENT);
        if (name.rfind("/var/lock/", 0) == 0 && !exists) return Fail(EACCES);
        files[name];
        const int fd = nextFileFd_++;
        openFiles_[fd] = name;
        return fd;
    }
    int Close(int fd) override {
        if (fd == kDeviceFd) {
            open_ = false;
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
        size_t n = 0;
        auto* out = static_cast<uint8_t*>(buffer);
        while (n < size && !received_.empty() && received_.front().first <= now) {
            out[n++] = received_.front().second;
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
        for (size_t i = 0; i < size; ++i) {
            char text[16];
            std::snprintf(text, sizeof text, "write %02X", in[i]);
            log.push_back(text);
            lineFreeAt_ = std::max(lineFreeAt_, now) + byteTimeNs;
            sending_.push_back({lineFreeAt_, in[i]});
        }
        return static_cast<ssize_t>(size);
    }
    int Ioctl(int fd, unsigned long request, void* argument) override {
        if (fd != kDeviceFd) return Fail(ENOTTY);
        const Device& device = devices[openPath_];
        switch (request) {
            case TIOCOUTQ:
                Advance(now);
                *static_cast<int*>(argument) =
                    (!sending_.empty() || now < emptyReportedAt_) ? 1 : 0;
                return 0;
            case TIOCGSERIAL: {
                if (device.portType < 0) return Fail(ENOTTY);
                serial_struct info{};
                info.type = device.portType;
                info.flags = static_cast<int>(serialFlags);
                *static_cast<serial_struct*>(argument) = info;
                return 0;
            }
            case TIOCSSERIAL:
                if (device.portType < 0) return Fail(ENOTTY);
                serialFlags =
                    static_cast<unsigned long>(static_cast<serial_struct*>(argument)->flags);
                return 0;
            default:
                return 0;
        }
    }
    int Flock(int, int) override { return 0; }
    int TcGetAttr(int, termios* tio) override {
        *tio = tio_;
        return 0;
    }
    int TcSetAttr(int, int, const termios* tio) override {
        tio_ = *tio;
        return 0;
    }
    int TcFlush(int, int queue) override {
        Advance(now);
        if (queue == TCIFLUSH || queue == TCIOFLUSH) {
            log.push_back("purge in");
            while (!received_.empty() && received_.front().first <= now) received_.pop_front();
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
            if (count > 0 && (fds[0].events & POLLOUT) != 0) {
                fds[0].revents = POLLOUT;
                return 1;
            }
            if (count > 0 && !received_.empty() && received_.front().first <= now) {
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
    int Stat(const char* path, struct stat* st) override {
        const std::string p = path;
        for (const auto& [pid, held] : holders) {
            const std::string prefix = "/proc/" + std::to_string(pid) + "/fd/";
            if (p.rfind(prefix, 0) == 0) {
                const size_t index = std::stoul(p.substr(prefix.size()));
                if (index >= held.size()) return Fail(ENOENT);
                *st = CharDevice(devices[Resolve(held[index].c_str())]);
                return 0;
            }
        }
        return Fail(ENOENT);
    }
    int Unlink(const char* path) override { return files.erase(path) != 0 ? 0 : Fail(ENOENT); }
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
    // The next moment after now at which something changes.
    int64_t NextEvent() const {
        int64_t next = INT64_MAX;
        if (!sending_.empty() && !wedged) next = sending_.front().first;
        for (const auto& [at, byte] : received_) {
            if (at > now) {
                next = std::min(next, at);
                break;
            }
        }
        if (emptyReportedAt_ > now) next = std::min(next, emptyReportedAt_);
        return next;
    }
    // Moves the clock to t: bytes leave the line, the unit answers them.
    void Advance(int64_t t) {
        while (!wedged && !sending_.empty() && sending_.front().first <= t) {
            const auto [leftAt, command] = sending_.front();
            sending_.pop_front();
            if (sending_.empty()) emptyReportedAt_ = leftAt + reportLagNs;
            const int index = static_cast<int>(commands.size());
            commands.push_back(command);
            for (const Answer& answer : unit(command, index)) {
                int64_t at = leftAt + answer.delayNs;
                for (uint8_t byte : answer.bytes) {
                    at += byteTimeNs;
                    received_.push_back({at, byte});
                }
            }
            std::stable_sort(received_.begin(), received_.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
        }
        now = std::max(now, t);
    }

    bool open_ = false;
    std::string openPath_;
    termios tio_{};
    int nextFileFd_ = 200;
    std::map<int, std::string> openFiles_;
    int64_t lineFreeAt_ = 0;
    int64_t emptyReportedAt_ = 0;
    std::deque<std::pair<int64_t, uint8_t>> sending_;
    std::deque<std::pair<int64_t, uint8_t>> received_;
};

}  // namespace zul::test
