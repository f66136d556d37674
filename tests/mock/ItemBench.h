#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "adjust/AdjustmentData.h"
#include "adjust/ItemContext.h"
#include "adjust/ResultArea.h"
#include "serial/Clock.h"
#include "serial/CommandExchange.h"
#include "serial/ForwardingPort.h"
#include "serial/SerialPort.h"
#include "sim/SimPort.h"
#include "sim/SimUnit.h"

namespace zul::test {

// A port that passes everything to another port and records every write with
// the read time-out in force when it was made. onWrite runs after each write
// has reached the far end, so a test can change the unit between exchanges.
class RecordingPort final : public ForwardingPort {
public:
    struct Write {
        std::vector<uint8_t> bytes;
        uint16_t timeoutMs;
    };

    explicit RecordingPort(SerialPort& inner) : ForwardingPort(inner) {}

    bool WritePort(std::span<const uint8_t> bytes) override {
        writes.push_back({{bytes.begin(), bytes.end()}, inner_.ReadTimeout()});
        const bool written = inner_.WritePort(bytes);
        if (onWrite) onWrite(writes.back().bytes);
        return written;
    }
    uint32_t ReadPort(std::span<uint8_t> buffer) override { return inner_.ReadPort(buffer); }

    // The read time-out in force at each write of command, in order.
    std::vector<uint16_t> TimeoutsAt(uint8_t command) const {
        std::vector<uint16_t> timeouts;
        for (const Write& w : writes) {
            if (w.bytes.size() == 1 && w.bytes[0] == command) timeouts.push_back(w.timeoutMs);
        }
        return timeouts;
    }

    std::vector<Write> writes;
    std::function<void(const std::vector<uint8_t>&)> onWrite;
};

// One validator unit on the bench: the simulated unit on an open port, the
// exchange, a fresh measurement record and a result area holding the item's
// title line.
struct ItemBench {
    explicit ItemBench(sim::Profile profile = {}, std::string title = "*** item ***")
        : unit(std::move(profile)), simPort(unit, clock), port(simPort), link(port, data.reply) {
        simPort.OpenDevice("COM1");
        simPort.Configure(LineSettings{.portName = "COM1"});
        result.Append(title);
    }

    // The command bytes the unit received, in order.
    const std::vector<uint8_t>& Sent() const { return unit.Received(); }
    std::size_t CountSent(uint8_t command) const {
        std::size_t n = 0;
        for (uint8_t b : unit.Received()) n += b == command ? 1 : 0;
        return n;
    }
    std::vector<std::string> Lines() const { return result.Lines(); }

    ManualClock clock;
    sim::SimUnit unit;
    sim::SimPort simPort;
    RecordingPort port;
    AdjustmentData data;
    CommandExchange link;
    MemoryResultArea result;
    ItemContext ctx{link, data, result, clock};
};

// Every fault kind on command, on all of its receptions.
inline void FaultOn(sim::Profile& profile, uint8_t command, sim::Fault fault) {
    profile.faults[command].push_back(fault);
}
inline sim::Fault Refuse(uint32_t onlyNth = 0) {
    return {.kind = sim::Fault::Kind::Refuse, .onlyNth = onlyNth};
}
inline sim::Fault Silent(uint32_t onlyNth = 0) {
    return {.kind = sim::Fault::Kind::Silent, .onlyNth = onlyNth};
}
// Only the first bytes bytes of every answer.
inline sim::Fault Short(uint32_t bytes) {
    return {.kind = sim::Fault::Kind::Short, .bytes = bytes};
}
// A healthy unit's profile with fault on command.
inline sim::Profile WithFault(uint8_t command, sim::Fault fault) {
    sim::Profile profile;
    FaultOn(profile, command, fault);
    return profile;
}

}  // namespace zul::test
