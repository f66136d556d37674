#pragma once

#include <cstdint>

#include "serial/Clock.h"

namespace zul::test {

// A clock whose sleeps last whole ticks of the system timer, as Windows makes
// them for a process that did not ask for a finer timer: the tick is 1/64 s
// (15.625 ms), and a sleep ends at the first tick after its time. The Sleep
// page of the Win32 documentation: "If dwMilliseconds is less than the
// resolution of the system clock ... If dwMilliseconds is greater than one
// tick but less than two, the wait can be anywhere between one and two
// ticks"; the timeBeginPeriod page: since Windows 10 version 2004, "for
// processes which have not called this function, Windows does not guarantee
// a higher resolution than the default system resolution". Sleeping takes no
// real time.
class TickClock final : public Clock {
public:
    static constexpr uint64_t kTickUs = 15625;

    uint64_t NowMs() override { return nowUs_ / 1000; }
    void SleepMs(uint32_t ms) override {
        ++sleeps_;
        const uint64_t until = nowUs_ + uint64_t{ms} * 1000;
        nowUs_ = (until + kTickUs - 1) / kTickUs * kTickUs;
    }
    int sleeps() const { return sleeps_; }
    // The time since the clock was made, in microseconds.
    uint64_t NowUs() const { return nowUs_; }

private:
    uint64_t nowUs_ = 0;
    int sleeps_ = 0;
};

}  // namespace zul::test
