#include "sim/SimUnit.h"

#include <algorithm>
#include <array>

#include "serial/Commands.h"

namespace zul::sim {

namespace {

// Lengths of the three lever blocks, in the order the unit sends them.
constexpr std::array<size_t, 3> kLeverBlockLengths{12, 16, 30};
// Where the lever readings (back, left, right) lie in the last lever block.
constexpr size_t kLeverReadingOffset = 8;

}  // namespace

struct SimUnit::State {
    Item item = Item::None;
    // lever: blocks sent, up to one past the last once the reading counted;
    // non-paper: 1 after 0xEE
    uint32_t stage = 0;
    uint32_t leverReadings = 0;  // lever readings completed since the run started
    bool leverPaperIn = true;    // the open lever reading is the paper-in one
    size_t magIndex = 0;         // next mag sample
    std::array<uint32_t, 256> receptions{};
    uint32_t receptionsOnLine = 0;  // receptions since creation or Reconnect
    bool droppedOff = false;
};

SimUnit::SimUnit(Profile profile)
    : profile_(std::move(profile)), state_(std::make_shared<State>()) {}

uint32_t SimUnit::ReceptionCount(uint8_t command) const {
    return state_->receptions[command];
}

SimUnit::Item SimUnit::OpenItem() const {
    return state_->item;
}

bool SimUnit::DroppedOff() const {
    return state_->droppedOff;
}

void SimUnit::Reconnect() {
    state_->droppedOff = false;
    state_->receptionsOnLine = 0;
}

namespace {

std::vector<uint8_t> Ack() {
    return {ACK};
}

template <size_t N>
std::vector<uint8_t> Bytes(const std::array<uint8_t, N>& data) {
    return {data.begin(), data.end()};
}

// The fault that applies to the n-th reception of a command, or nullptr.
const Fault* FaultFor(const std::vector<Fault>& faults, uint32_t n) {
    for (const Fault& fault : faults) {
        if (fault.kind == Fault::Kind::None) continue;
        if (fault.onlyNth == 0 || fault.onlyNth == n) return &fault;
    }
    return nullptr;
}

}  // namespace

Answer SimUnit::Receive(uint8_t command) {
    received_.push_back(command);
    State& s = *state_;
    const uint32_t nth = ++s.receptions[command];
    ++s.receptionsOnLine;

    if (profile_.dropOffAfter != 0 && s.receptionsOnLine > profile_.dropOffAfter) {
        s.droppedOff = true;
    }
    if (s.droppedOff) return {.bytes = {}, .delayMs = 0, .fault = Fault::Kind::DropOff};

    const Fault* fault = nullptr;
    if (auto it = profile_.faults.find(command); it != profile_.faults.end()) {
        fault = FaultFor(it->second, nth);
    }
    if (fault != nullptr && fault->kind == Fault::Kind::DropOff) {
        s.droppedOff = true;
        return {.bytes = {}, .delayMs = 0, .fault = Fault::Kind::DropOff};
    }

    // The normal answer, and the state the unit moves to when it sends it.
    State next = s;
    std::vector<uint8_t> bytes;
    switch (command) {
        case cmd::kEepromErase:
            next.item = Item::None;
            next.leverReadings = 0;
            bytes = Ack();
            break;
        case cmd::kEepromWrite:
        case cmd::kEepromExecute:
            bytes = Ack();
            break;
        case cmd::kOpenLever:
            next.item = Item::Lever;
            next.stage = 0;
            next.leverPaperIn = (s.leverReadings % 2) == 0;
            bytes = Ack();
            break;
        case cmd::kOpenWhite:
        case cmd::kWhiteResistor:
            next.item = Item::White;
            next.stage = 0;
            bytes = Ack();
            break;
        case cmd::kOpenBlack:
            next.item = Item::Black;
            next.stage = 0;
            bytes = Ack();
            break;
        case cmd::kOpenNonPaper:
        case cmd::kNonPaperResistor:
            next.item = Item::NonPaper;
            next.stage = 0;
            bytes = Ack();
            break;
        case cmd::kConfirm:
            if (s.item == Item::NonPaper) next.stage = 1;
            bytes = Ack();
            break;
        case cmd::kOpenMag:
            next.item = Item::Mag;
            next.magIndex = 0;
            bytes = Ack();
            break;
        case cmd::kWhiteResult:
            bytes = Bytes(profile_.whiteResult);
            break;
        case cmd::kMotorSpeed:
            bytes = {profile_.motorSpeed};
            break;
        case cmd::kEnq:
            switch (s.item) {
                case Item::None:
                    break;
                case Item::Lever: {
                    constexpr size_t kLast = kLeverBlockLengths.size() - 1;
                    const size_t block = std::min<size_t>(s.stage, kLast);
                    bytes.assign(kLeverBlockLengths[block], 0);
                    if (block == kLast) {
                        const auto& levers =
                            s.leverPaperIn ? profile_.leverPaperIn : profile_.leverPaperOut;
                        std::copy(levers.begin(), levers.end(),
                                  bytes.begin() + kLeverReadingOffset);
                    }
                    if (s.stage == kLast) ++next.leverReadings;
                    if (s.stage <= kLast) ++next.stage;
                    break;
                }
                case Item::White:
                    bytes = Bytes(profile_.whiteRegisters);
                    break;
                case Item::Black:
                    bytes = Bytes(profile_.blackResult);
                    break;
                case Item::NonPaper:
                    bytes = s.stage == 0 ? Bytes(profile_.nonPaperRegisters)
                                         : Bytes(profile_.nonPaperResult);
                    break;
                case Item::Mag: {
                    MagSample sample{};
                    if (!profile_.magSamples.empty()) {
                        sample =
                            profile_
                                .magSamples[std::min(s.magIndex, profile_.magSamples.size() - 1)];
                        if (s.magIndex + 1 < profile_.magSamples.size()) ++next.magIndex;
                    }
                    bytes = {sample.peak, sample.ad};
                    break;
                }
            }
            break;
        default:
            break;  // not a command of the unit: no answer
    }

    Answer answer;
    bool complete = true;
    if (fault != nullptr) {
        answer.fault = fault->kind;
        switch (fault->kind) {
            case Fault::Kind::Refuse:
                bytes = {fault->refuseByte};
                complete = false;
                break;
            case Fault::Kind::Silent:
                bytes.clear();
                complete = false;
                break;
            case Fault::Kind::Short:
                if (fault->bytes < bytes.size()) {
                    bytes.resize(fault->bytes);
                    complete = false;
                }
                break;
            case Fault::Kind::Long:
                if (!bytes.empty()) bytes.insert(bytes.end(), fault->bytes, fault->extraByte);
                break;
            case Fault::Kind::Late:
                answer.delayMs = fault->delayMs;
                break;
            case Fault::Kind::None:
            case Fault::Kind::DropOff:
                break;
        }
    }
    if (complete) {
        s = next;
    }
    if (!bytes.empty()) {
        bytes.insert(bytes.end(), profile_.pad, profile_.padByte);
    }
    answer.bytes = std::move(bytes);
    return answer;
}

}  // namespace zul::sim
