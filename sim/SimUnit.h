#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "sim/SimProfile.h"

namespace zul::sim {

// What the unit sends back for one received command.
struct Answer {
    std::vector<uint8_t> bytes;  // empty: the unit stays silent
    uint32_t delayMs = 0;        // processing time before the first byte
};

// The ZUL-1x protocol model: answers every command byte with the answers,
// lengths and layouts of the unit, from its profile. Plain C++, no I/O: the
// in-process port and the simulator tool both drive it.
class SimUnit {
public:
    explicit SimUnit(Profile profile = {});

    // The unit receives one command byte and answers it. 0x05 answers depend
    // on the item opened last and on its stage.
    Answer Receive(uint8_t command);

    // Every command byte received, in order.
    const std::vector<uint8_t>& Received() const { return received_; }
    void ClearRecord() { received_.clear(); }

    Profile& profile() { return profile_; }
    const Profile& profile() const { return profile_; }

private:
    Profile profile_;
    std::vector<uint8_t> received_;
    // Implementation state (open item, stage, reception counts) is private.
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace zul::sim
