#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/tool/PtyLine.h"

namespace zul::bench {

// A minimal unit of the benchmark's own on a pseudo-terminal: it answers
// every byte it receives with replyLength bytes of 0x06, the first after
// latencyUs, the next ones a byte time (byteTimeUs) apart, as a unit on the
// wire would. It stamps CLOCK_MONOTONIC (ns) just before it writes the last
// byte of each answer. With replyLength 0 it stays silent.
//
// Owns the line (the simulator tool's, with its link) and its thread, which
// runs from Start to the destructor.
class PtyUnit {
public:
    PtyUnit() = default;
    ~PtyUnit();
    PtyUnit(const PtyUnit&) = delete;
    PtyUnit& operator=(const PtyUnit&) = delete;

    // Opens the pseudo-terminal with its link at linkPath and starts
    // answering. Returns an empty string, or what went wrong.
    std::string Start(const std::string& linkPath, uint32_t replyLength, uint32_t latencyUs,
                      uint32_t byteTimeUs);

    // The slave device the program opens, e.g. /dev/pts/3.
    const std::string& slaveName() const { return line_.slaveName(); }

    // Stamps of the last byte of each answer so far, in order (ns).
    std::vector<int64_t> Stamps();
    // Waits up to 1 s until at least count answers were stamped; the number
    // stamped.
    size_t WaitForStamps(size_t count);

private:
    void Serve();

    sim::PtyLine line_;
    uint32_t replyLength_ = 0;
    uint32_t latencyUs_ = 0;
    uint32_t byteTimeUs_ = 0;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<int64_t> stamps_;
    std::thread thread_;
};

// Monotonic time in nanoseconds.
int64_t MonotonicNs();

}  // namespace zul::bench
