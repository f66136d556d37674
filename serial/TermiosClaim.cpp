#include "serial/TermiosClaim.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <optional>
#include <string_view>

#include "serial/SerialPort.h"
#include "serial/TermiosDevice.h"

namespace zul {

namespace {

constexpr uint32_t kOk = SerialPort::kOk;
constexpr uint32_t kErrorNotFound = SerialPort::kErrorNotFound;
constexpr uint32_t kErrorInUse = SerialPort::kErrorInUse;

// The eight majors of pseudo-terminal slaves.
bool IsPseudoTerminal(const struct stat& st) {
    constexpr unsigned kPtySlaveFirstMajor = 136;
    constexpr unsigned kPtySlaveMajors = 8;
    return S_ISCHR(st.st_mode) && major(st.st_rdev) >= kPtySlaveFirstMajor &&
           major(st.st_rdev) < kPtySlaveFirstMajor + kPtySlaveMajors;
}

// Where programs that follow the UUCP convention put their lock files,
// LCK..<device name>, holding the owner's process id.
constexpr std::array<const char*, 2> kLockDirectories{"/run/lock", "/var/lock"};

std::optional<pid_t> ParsePid(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return std::nullopt;
    text.remove_prefix(first);
    pid_t pid = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), pid);
    if (error != std::errc{} || pid <= 0) return std::nullopt;
    return pid;
}

}  // namespace

uint32_t TermiosClaim::Take(int fd, const std::string& path, Line& line) {
    line = Line{};
    if (sys_.Flock(fd, LOCK_EX | LOCK_NB) != 0) {
        return TermiosDevice::ErrorCodeForErrno(errno);
    }
    struct stat st {};
    if (sys_.Fstat(fd, &st) != 0) {
        return TermiosDevice::ErrorCodeForErrno(errno);
    }
    line.pseudoTerminal = IsPseudoTerminal(st);
    // A pseudo-terminal has no port type, no lock-file names and a peer that
    // keeps it open on purpose (the simulated unit does), and a device that
    // is no terminal at all fails Configure: the checks below are for real
    // lines.
    const bool realLine = S_ISCHR(st.st_mode) && !line.pseudoTerminal;
    line.delivery =
        line.pseudoTerminal ? LineDevice::ReceiveDelay{0, 0} : LineDevice::ReceiveDelay{};
    if (realLine && IsUartNode(st.st_rdev)) {
        // An 8250 node with no UART behind it opens, and then fails every
        // termios call and write with EIO: its driver tells it by the port
        // type PORT_UNKNOWN, which it answers all the same. Other drivers
        // never fill in a type (the usb-serial core and cdc-acm answer
        // TIOCGSERIAL with type 0 for every adapter), so the type means
        // something only on a UART node.
        line.delivery = LineDevice::ReceiveDelay{4, 0};
        serial_struct info{};
        if (sys_.Ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type == PORT_UNKNOWN) {
            return kErrorNotFound;
        }
    } else if (realLine) {
        line.delivery =
            LineDevice::ReceiveDelay{0, 16};  // a USB adapter, until it grants low latency
    }
    termios tio{};
    if (realLine && sys_.TcGetAttr(fd, &tio) == 0) {
        const std::string real = sys_.RealPath(path.c_str());
        const std::string& device = real.empty() ? path : real;
        if (HeldByAnotherProcess(device) || !TakeLockFile(device)) {
            return kErrorInUse;
        }
    }
    // Keeps out other openers that do not take the lock (root ignores it).
    // A device that is not a tty refuses it; Configure reports that.
    sys_.Ioctl(fd, TIOCEXCL, nullptr);
    return kOk;
}

// The serial ttys of the 8250 family have major 4 (ttyS, from minor 64);
// a UART on another major is known by its driver's name in sysfs.
bool TermiosClaim::IsUartNode(dev_t device) {
    constexpr unsigned kTtyMajor = 4;
    if (major(device) == kTtyMajor) {
        return true;
    }
    const std::string driver = "/sys/dev/char/" + std::to_string(major(device)) + ":" +
                               std::to_string(minor(device)) + "/device/driver";
    const std::string target = sys_.ReadLink(driver.c_str());
    return target.size() >= 11 && target.compare(target.size() - 11, 11, "/serial8250") == 0;
}

// Compares the text of every /proc/<pid>/fd link with the device's path.
// The text is read without following the link: a stat would follow each
// descriptor into its file system, and a hung network or FUSE mount that any
// process holds open would block the open for good. The scan gives up after
// kHolderScanNs (the flock and TIOCEXCL still hold the port against most).
bool TermiosClaim::HeldByAnotherProcess(const std::string& devicePath) {
    const std::string self = std::to_string(sys_.GetPid());
    const int64_t deadline = sys_.NowNs() + kHolderScanNs;
    for (const std::string& pid : sys_.ListDirectory("/proc")) {
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos ||
            pid == self) {
            continue;
        }
        if (sys_.NowNs() > deadline) {
            return false;
        }
        const std::string fds = "/proc/" + pid + "/fd";
        for (const std::string& fd : sys_.ListDirectory(fds.c_str())) {
            const std::string link = fds + "/" + fd;
            if (sys_.ReadLink(link.c_str()) == devicePath) {
                return true;
            }
        }
    }
    return false;
}

TermiosClaim::Lock TermiosClaim::LockState(const std::string& lockPath) {
    const int fd = sys_.Open(lockPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0);
    if (fd < 0) {
        // A symbolic link is no lock file a program wrote; it is never
        // followed (a planted link could point anywhere).
        return errno == ELOOP ? Lock::kStale : Lock::kNone;
    }
    std::array<char, 64> text{};
    const ssize_t n = sys_.Read(fd, text.data(), text.size() - 1);
    sys_.Close(fd);
    // An empty or unreadable file is taken as held: its writer may be about
    // to fill it.
    if (n <= 0) {
        return Lock::kHeld;
    }
    const std::optional<pid_t> owner =
        ParsePid(std::string_view(text.data(), static_cast<size_t>(n)));
    // Our own process id: left by an earlier process that had it (ours is
    // removed when the port closes).
    if (owner && (*owner == sys_.GetPid() || (sys_.Kill(*owner, 0) != 0 && errno == ESRCH))) {
        return Lock::kStale;
    }
    return Lock::kHeld;
}

bool TermiosClaim::TakeLockFile(const std::string& realPath) {
    const std::string name = realPath.substr(realPath.rfind('/') + 1);
    if (name.empty()) {
        return true;
    }
    std::array<std::string, kLockDirectories.size()> lockPaths;
    for (size_t i = 0; i < lockPaths.size(); ++i) {
        lockPaths[i] = std::string(kLockDirectories[i]) + "/LCK.." + name;
    }
    // Another program's lock in any of the directories holds the port; a
    // stale one goes. A stale lock that stays (in the sticky lock folder,
    // another user's file can be removed only by its owner or root, as a
    // crashed terminal program run through sudo leaves it) does not hold the
    // port up: it opens without a lock of ours.
    bool staleLeft = false;
    for (const std::string& lockPath : lockPaths) {
        switch (LockState(lockPath)) {
            case Lock::kNone:
                break;
            case Lock::kHeld:
                return false;
            case Lock::kStale:
                if (sys_.Unlink(lockPath.c_str()) != 0 && errno != ENOENT) {
                    staleLeft = true;
                }
                break;
        }
    }
    if (staleLeft) {
        return true;
    }
    // Our own, in the first directory that takes it, in the usual form (the
    // process id in ten columns and a newline), so that terminal programs
    // see the port taken. A system without a writable lock directory gets
    // none; the open goes on.
    std::array<char, 16> text{};
    const int length =
        std::snprintf(text.data(), text.size(), "%10d\n", static_cast<int>(sys_.GetPid()));
    for (const std::string& lockPath : lockPaths) {
        const int fd =
            sys_.Open(lockPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd < 0) {
            if (errno == EEXIST) {
                return false;  // another program took it just now
            }
            continue;
        }
        const bool written = sys_.Write(fd, text.data(), static_cast<size_t>(length)) == length;
        sys_.Close(fd);
        if (!written) {
            sys_.Unlink(lockPath.c_str());
            continue;
        }
        lockFile_ = lockPath;
        break;
    }
    return true;
}

void TermiosClaim::Release(int fd) {
    if (!lockFile_.empty()) {
        sys_.Unlink(lockFile_.c_str());
        lockFile_.clear();
    }
    sys_.Ioctl(fd, TIOCNXCL, nullptr);
}

}  // namespace zul
