#include "bench/PtyUnit.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace zul::bench {

int64_t MonotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

namespace {

// Sleeps until the monotonic time untilNs.
void SleepUntilNs(int64_t untilNs) {
    timespec ts{};
    ts.tv_sec = untilNs / 1000000000;
    ts.tv_nsec = untilNs % 1000000000;
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

}  // namespace

PtyUnit::~PtyUnit() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (slave_ >= 0) close(slave_);
    if (master_ >= 0) close(master_);
}

std::string PtyUnit::Start(uint32_t replyLength, uint32_t latencyUs, uint32_t byteTimeUs) {
    replyLength_ = replyLength;
    latencyUs_ = latencyUs;
    byteTimeUs_ = byteTimeUs;
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        return std::string("pseudo-terminal: ") + std::strerror(errno);
    }
    const char* name = ptsname(master_);
    if (name == nullptr) return "ptsname failed";
    slaveName_ = name;
    termios tio{};
    if (tcgetattr(master_, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(master_, TCSANOW, &tio);
    }
    slave_ = open(name, O_RDWR | O_NOCTTY);
    if (slave_ < 0) return std::string("open slave: ") + std::strerror(errno);
    thread_ = std::thread([this] { Serve(); });
    return {};
}

void PtyUnit::Serve() {
    uint8_t in[256];
    while (!stop_) {
        pollfd pfd{master_, POLLIN, 0};
        if (poll(&pfd, 1, 50) <= 0) continue;
        const ssize_t n = read(master_, in, sizeof in);
        if (n <= 0) continue;
        const int64_t received = MonotonicNs();
        if (replyLength_ == 0) continue;  // silent: the command is swallowed
        // One answer per received byte, as the unit answers one-byte commands.
        for (ssize_t c = 0; c < n; ++c) {
            int64_t due = received + static_cast<int64_t>(latencyUs_) * 1000;
            for (uint32_t i = 0; i < replyLength_; ++i) {
                SleepUntilNs(due);
                const uint8_t byte = 0x06;
                if (i + 1 == replyLength_) {
                    const int64_t stamp = MonotonicNs();
                    {
                        std::lock_guard<std::mutex> lock(mutex_);
                        stamps_.push_back(stamp);
                    }
                }
                while (write(master_, &byte, 1) < 0 && errno == EINTR) {
                }
                due += static_cast<int64_t>(byteTimeUs_) * 1000;
            }
        }
    }
}

std::vector<int64_t> PtyUnit::Stamps() {
    std::lock_guard<std::mutex> lock(mutex_);
    return stamps_;
}

size_t PtyUnit::WaitForStamps(size_t count) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    for (;;) {
        size_t have;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            have = stamps_.size();
        }
        if (have >= count || std::chrono::steady_clock::now() >= until) return have;
        usleep(1000);
    }
}

}  // namespace zul::bench
