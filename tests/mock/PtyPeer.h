#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace zul::test {

// The unit's end of a pseudo-terminal: the master side, while the program
// opens the slave as its serial port.
class PtyPeer {
public:
    PtyPeer() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) {
            slave_ = ptsname(master_);
        }
    }
    ~PtyPeer() { HangUp(); }
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    bool ok() const { return master_ >= 0 && !slave_.empty(); }
    // The device path the program opens.
    const std::string& slave() const { return slave_; }
    int fd() const { return master_; }

    // Closes the unit's end: the program's side sees a hang-up.
    void HangUp() {
        if (master_ >= 0) close(master_);
        master_ = -1;
    }

    ssize_t Write(const std::vector<uint8_t>& bytes) {
        return write(master_, bytes.data(), bytes.size());
    }

    // What arrived from the program, up to count bytes, within timeoutMs.
    std::vector<uint8_t> Read(size_t count, int timeoutMs) {
        std::vector<uint8_t> got;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (got.size() < count && std::chrono::steady_clock::now() < end) {
            pollfd pfd{master_, POLLIN, 0};
            if (poll(&pfd, 1, 50) <= 0) continue;
            uint8_t buf[64];
            const ssize_t n = read(master_, buf, sizeof buf);
            if (n <= 0) break;
            got.insert(got.end(), buf, buf + n);
        }
        return got;
    }

    // Waits up to timeoutMs for one byte from the program; -1 when none came.
    int ReadByte(int timeoutMs = 2000) {
        pollfd pfd{master_, POLLIN, 0};
        if (poll(&pfd, 1, timeoutMs) <= 0) return -1;
        uint8_t b = 0;
        return read(master_, &b, 1) == 1 ? b : -1;
    }

private:
    int master_ = -1;
    std::string slave_;
};

}  // namespace zul::test
