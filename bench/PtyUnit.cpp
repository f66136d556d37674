#include "bench/PtyUnit.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
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
}

std::string PtyUnit::Start(const std::string& linkPath, uint32_t replyLength, uint32_t latencyUs,
                           uint32_t byteTimeUs) {
    replyLength_ = replyLength;
    latencyUs_ = latencyUs;
    byteTimeUs_ = byteTimeUs;
    if (std::string error = line_.Open(linkPath); !error.empty()) return error;
    thread_ = std::thread([this] { Serve(); });
    return {};
}

void PtyUnit::Serve() {
    while (!stop_) {
        const auto in = line_.Read(50);
        if (!in || in->empty()) continue;
        const int64_t received = MonotonicNs();
        if (replyLength_ == 0) continue;  // silent: the command is swallowed
        // One answer per received byte, as the unit answers one-byte commands.
        for (size_t c = 0; c < in->size(); ++c) {
            int64_t due = received + static_cast<int64_t>(latencyUs_) * 1000;
            for (uint32_t i = 0; i < replyLength_; ++i) {
                SleepUntilNs(due);
                if (i + 1 == replyLength_) {
                    const int64_t stamp = MonotonicNs();
                    std::lock_guard<std::mutex> lock(mutex_);
                    stamps_.push_back(stamp);
                }
                line_.WriteByte(0x06);
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
