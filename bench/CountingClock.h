#pragma once

#include <cstdint>

#include "serial/Clock.h"

namespace zul::bench {

// The system clock, adding up the fixed waits the items ask for.
class CountingClock final : public Clock {
public:
    uint64_t NowMs() override { return clock_.NowMs(); }
    void SleepMs(uint32_t ms) override {
        ++sleeps;
        sleptMs += ms;
        clock_.SleepMs(ms);
    }

    uint64_t sleeps = 0;
    uint64_t sleptMs = 0;  // requested, not measured

private:
    SystemClock clock_;
};

}  // namespace zul::bench
