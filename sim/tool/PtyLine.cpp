#include "sim/tool/PtyLine.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace zul::sim {

namespace {
std::string Errno(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}
}  // namespace

PtyLine::~PtyLine() {
    RemoveLink();
    if (slave_ >= 0) close(slave_);
    if (master_ >= 0) close(master_);
}

std::string PtyLine::Open(const std::string& linkPath) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0) return Errno("posix_openpt");
    if (grantpt(master_) != 0) return Errno("grantpt");
    if (unlockpt(master_) != 0) return Errno("unlockpt");
    const char* name = ptsname(master_);
    if (name == nullptr) return Errno("ptsname");
    slaveName_ = name;

    // Raw line: no echo, no translation, no signals, until the program sets
    // its own modes on the slave.
    termios tio{};
    if (tcgetattr(master_, &tio) != 0) return Errno("tcgetattr");
    cfmakeraw(&tio);
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    if (tcsetattr(master_, TCSANOW, &tio) != 0) return Errno("tcsetattr");

    slave_ = open(name, O_RDWR | O_NOCTTY);
    if (slave_ < 0) return Errno("open slave");
    const int flags = fcntl(master_, F_GETFL);
    if (flags < 0 || fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) return Errno("fcntl");

    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(linkPath, ec);
    if (fs::exists(status)) {
        if (!fs::is_symlink(status)) return linkPath + " exists and is not a symlink";
        fs::remove(linkPath, ec);
        if (ec) return "cannot replace " + linkPath + ": " + ec.message();
    }
    fs::create_symlink(slaveName_, linkPath, ec);
    if (ec) return "cannot create " + linkPath + ": " + ec.message();
    linkPath_ = linkPath;
    return {};
}

std::optional<std::vector<uint8_t>> PtyLine::Read(int timeoutMs) {
    pollfd pfd{master_, POLLIN, 0};
    const int n = poll(&pfd, 1, timeoutMs);
    if (n < 0) {
        if (errno == EINTR) return std::vector<uint8_t>{};
        return std::nullopt;
    }
    if (n == 0 || (pfd.revents & POLLIN) == 0) {
        if ((pfd.revents & (POLLERR | POLLNVAL)) != 0) return std::nullopt;
        return std::vector<uint8_t>{};
    }
    std::vector<uint8_t> bytes(256);
    const ssize_t got = read(master_, bytes.data(), bytes.size());
    if (got < 0) {
        if (errno == EINTR || errno == EAGAIN || errno == EIO) return std::vector<uint8_t>{};
        return std::nullopt;
    }
    bytes.resize(static_cast<size_t>(got));
    return bytes;
}

bool PtyLine::WriteByte(uint8_t byte) {
    while (true) {
        const ssize_t n = write(master_, &byte, 1);
        if (n == 1) return true;
        if (n < 0 && errno == EINTR) continue;
        return false;
    }
}

void PtyLine::RemoveLink() {
    if (linkPath_.empty()) return;
    std::error_code ec;
    if (std::filesystem::is_symlink(linkPath_, ec) &&
        std::filesystem::read_symlink(linkPath_, ec) == slaveName_) {
        std::filesystem::remove(linkPath_, ec);
    }
    linkPath_.clear();
}

}  // namespace zul::sim
