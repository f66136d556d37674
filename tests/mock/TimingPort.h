#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "serial/Clock.h"
#include "serial/ForwardingPort.h"
#include "serial/SerialPort.h"

namespace zul::test {

// A port that passes everything to another port and timestamps every write
// and read on the test's clock, so the modelled time of each exchange can be
// measured from outside the exchange.
class TimingPort final : public ForwardingPort {
public:
    // One write and the read that followed it.
    struct Attempt {
        uint8_t command = 0;         // first request byte
        uint32_t requested = 0;      // bytes the read asked for (0: no read followed)
        uint16_t timeoutMs = 0;      // read time-out constant in force at the write
        uint64_t writeAtMs = 0;      // clock when the write began
        uint64_t readEndMs = 0;      // clock when the read returned
        uint32_t arrived = 0;        // bytes the read returned
        uint8_t firstByte = 0;       // first byte read (when any arrived)
        uint64_t sleptBeforeMs = 0;  // the clock's total of fixed waits at the write
        bool newExchange = false;    // a click or tick began just before this write
    };

    // One exchange: consecutive attempts of one request.
    struct Exchange {
        uint8_t command = 0;
        uint32_t requested = 0;
        uint16_t timeoutMs = 0;
        uint32_t attempts = 0;
        uint64_t durationMs = 0;  // first write to last read
        bool sameTimeout = true;  // every attempt had the same time-out
    };

    TimingPort(SerialPort& inner, ManualClock& clock) : ForwardingPort(inner), clock_(clock) {}

    bool WritePort(std::span<const uint8_t> bytes) override {
        Attempt a;
        a.command = bytes.empty() ? 0 : bytes[0];
        a.timeoutMs = inner_.ReadTimeout();
        a.writeAtMs = clock_.NowMs();
        a.readEndMs = a.writeAtMs;
        a.sleptBeforeMs = clock_.SleptMs();
        a.newExchange = boundary_;
        boundary_ = false;
        attempts.push_back(a);
        if (onWrite) onWrite(attempts.back());
        return inner_.WritePort(bytes);
    }
    uint32_t ReadPort(std::span<uint8_t> buffer) override {
        const uint32_t n = inner_.ReadPort(buffer);
        if (!attempts.empty()) {
            Attempt& a = attempts.back();
            a.requested = static_cast<uint32_t>(buffer.size());
            a.readEndMs = clock_.NowMs();
            a.arrived = n;
            a.firstByte = n > 0 ? buffer[0] : 0;
        }
        return n;
    }

    // The next write begins a new exchange whatever it sends (a click or a
    // timer tick of the window).
    void Boundary() { boundary_ = true; }

    // The attempts grouped into exchanges. A new exchange begins at a
    // boundary, after a fixed wait, when the request or the asked length
    // changes, or when the previous attempt got its whole answer and that
    // answer ends the exchange; retried(command, firstByte) tells whether a
    // complete answer is retried all the same (a refused acknowledged
    // command).
    std::vector<Exchange> Exchanges(const std::function<bool(uint8_t, uint8_t)>& retried) const {
        std::vector<Exchange> out;
        const Attempt* prev = nullptr;
        uint64_t firstWrite = 0;
        for (const Attempt& a : attempts) {
            bool fresh = prev == nullptr || a.newExchange || a.command != prev->command ||
                         a.requested != prev->requested || a.sleptBeforeMs != prev->sleptBeforeMs;
            if (!fresh && prev->requested != 0 && prev->arrived == prev->requested &&
                !retried(prev->command, prev->firstByte)) {
                fresh = true;
            }
            if (fresh) {
                out.push_back({.command = a.command,
                               .requested = a.requested,
                               .timeoutMs = a.timeoutMs,
                               .attempts = 0,
                               .durationMs = 0,
                               .sameTimeout = true});
                firstWrite = a.writeAtMs;
            }
            Exchange& e = out.back();
            ++e.attempts;
            e.durationMs = a.readEndMs - firstWrite;
            if (a.timeoutMs != e.timeoutMs) e.sameTimeout = false;
            prev = &a;
        }
        return out;
    }

    std::vector<Attempt> attempts;
    // Runs at each write, before the far end receives it.
    std::function<void(const Attempt&)> onWrite;

private:
    ManualClock& clock_;
    bool boundary_ = false;
};

}  // namespace zul::test
