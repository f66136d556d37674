#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "sim/SimProfile.h"

namespace zul::sim {

// What the unit sends back for one received command.
struct Answer {
    std::vector<uint8_t> bytes;             // empty: the unit stays silent
    uint32_t delayMs = 0;                   // processing time before the first byte
    Fault::Kind fault = Fault::Kind::None;  // the fault that shaped this answer
};

// The ZUL-1x protocol model: answers every command byte with the answers,
// lengths and layouts of the unit, from its profile. Plain C++, no I/O: the
// in-process port and the simulator tool both drive it.
//
// Answers of a healthy unit:
//   0xB6, 0xB4, 0xB0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA7, 0xC0, 0xC1, 0xEE: ACK.
//   0xE0: the 31-byte white result block. 0xA6: one byte, the motor speed.
//   0x05 (ENQ): the data of the item opened last, by its stage:
//     lever (0xA7):            12, then 16, then 30 bytes (readings in bytes
//                              8, 9, 10); further ENQs repeat the 30 bytes;
//     white (0xA1, 0xC0):      the 8 register bytes;
//     black (0xA2):            the 4 A/D bytes;
//     non-paper (0xA3, 0xC1):  the 4 register bytes, after 0xEE the 12-byte
//                              result block;
//     mag (0xA4):              peak and A/D of the next mag sample (the last
//                              one repeats; an empty sample list gives 0, 0).
//   Lever readings alternate: the first reading of a unit run (0xA7 and its
//   three blocks) reports leverPaperIn, the second leverPaperOut, and so on.
//   A reading counts once its 30-byte block was sent, so a repeated 0xA7
//   before that reads the same side again.
//   0xB6 starts a new unit run: it closes the open item and the next 0xA7
//   reads the levers with paper in again.
//   An unknown byte, and ENQ with no item open, get no answer at all.
//
// A command changes the unit's state (opens an item, moves its stage) only
// when the unit sends its complete answer (no fault, or Long or Late). After a
// refused, silent or short answer the state stays, so the exchange's next
// attempt gets the same data again.
class SimUnit {
public:
    // The item whose data ENQ sends.
    enum class Item { None, Lever, White, Black, NonPaper, Mag };

    explicit SimUnit(Profile profile = {});

    // The unit receives one command byte and answers it. 0x05 answers depend
    // on the item opened last and on its stage.
    Answer Receive(uint8_t command);

    // Every command byte received, in order (also those received after the
    // unit dropped off the line).
    const std::vector<uint8_t>& Received() const { return received_; }
    void ClearRecord() { received_.clear(); }

    // How often command was received since the unit's creation (the count
    // that Fault::onlyNth refers to).
    uint32_t ReceptionCount(uint8_t command) const;

    // The item opened last (None before the first, and after 0xB6).
    Item OpenItem() const;

    // The unit has dropped off the line: every command goes unanswered.
    bool DroppedOff() const;
    // Puts the unit back on the line (Profile::dropOffAfter counts again from
    // the next reception).
    void Reconnect();

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
