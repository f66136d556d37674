#pragma once

#include <algorithm>
#include <cstdint>

namespace zul {

// Time as the items and the simulated unit see it. The program waits for
// real (SystemClock); tests inject a ManualClock so a 1000 ms wait takes no
// time.
class Clock {
public:
    virtual ~Clock() = default;
    // Monotonic milliseconds since an arbitrary start.
    virtual uint64_t NowMs() = 0;
    // Blocks for ms milliseconds (ManualClock: advances its time instead).
    virtual void SleepMs(uint32_t ms) = 0;
};

// The monotonic system clock; SleepMs sleeps the whole time, retried on EINTR.
class SystemClock final : public Clock {
public:
    uint64_t NowMs() override;
    void SleepMs(uint32_t ms) override;
};

// The program's one SystemClock, for the waits of the file code, which no
// caller hands a clock to; lives as long as the program.
Clock& RealClock();

// What one try of a bounded wait gave.
enum class Tried {
    kDone,    // what was tried is done
    kAgain,   // not yet (a lock held by another): try again after a pause
    kFailed,  // it cannot be done: stop at once
};

// Tries attempt until it gives kDone or kFailed, or until waitMs have passed
// on clock since the first try, with a pause of pauseMs after each kAgain
// (the last no longer than the time left). Returns the last try's answer,
// kAgain when the time ran out; attempt runs at least once (waitMs 0: once).
//
// The time is read from the clock after every pause, never counted in
// pauses: a pause lasts what the system makes of it, a whole tick of the
// timer at least (Sleep(1) on Windows lasts 15.6 ms in a process that did not
// ask for a finer timer), so 2000 pauses of 1 ms could last 31 s. Read from
// the clock, the wait ends within waitMs plus one pause as the system makes it.
template <typename Attempt>
Tried RetryFor(Clock& clock, uint64_t waitMs, uint32_t pauseMs, Attempt&& attempt) {
    const uint64_t start = clock.NowMs();
    for (;;) {
        const Tried tried = attempt();
        if (tried != Tried::kAgain) return tried;
        const uint64_t waited = clock.NowMs() - start;
        if (waited >= waitMs) return Tried::kAgain;
        clock.SleepMs(static_cast<uint32_t>(std::min<uint64_t>(pauseMs, waitMs - waited)));
    }
}

// A clock that moves only when told: SleepMs and Advance add to its time.
class ManualClock final : public Clock {
public:
    uint64_t NowMs() override { return nowMs_; }
    void SleepMs(uint32_t ms) override {
        nowMs_ += ms;
        sleptMs_ += ms;
    }
    void Advance(uint64_t ms) { nowMs_ += ms; }
    // Total of all SleepMs calls (the items' fixed waits).
    uint64_t SleptMs() const { return sleptMs_; }

private:
    uint64_t nowMs_ = 0;
    uint64_t sleptMs_ = 0;
};

}  // namespace zul
