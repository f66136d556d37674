#pragma once

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
