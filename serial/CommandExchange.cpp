#include "serial/CommandExchange.h"

#include <array>

#include "serial/Commands.h"

namespace zul {

namespace {

// What one attempt came to.
enum class Attempt {
    WriteFailed,  // the request could not be written: give up at once
    Complete,     // the awaited number of bytes arrived
    Incomplete,   // nothing, too few bytes, or a failed read: try again
};

// One write of the request and one read of `answer`.
Attempt TryOnce(SerialPort& port, std::span<const uint8_t> request, std::span<uint8_t> answer) {
    if (!port.WritePort(request)) return Attempt::WriteFailed;
    return port.ReadPort(answer) == answer.size() ? Attempt::Complete : Attempt::Incomplete;
}

// Repeats the exchange while attempts remain. `accept` judges a complete
// answer; a rejected answer counts as a failed attempt when `retryRejected`,
// otherwise it ends the exchange.
enum class Outcome { Accepted, Rejected, NoAnswer };

template <typename Accept>
Outcome RunAttempts(SerialPort& port, std::span<const uint8_t> request, std::span<uint8_t> answer,
                    bool retryRejected, Accept accept) {
    for (uint8_t attempt = 0; attempt < CommandExchange::kMaxAttempts; ++attempt) {
        switch (TryOnce(port, request, answer)) {
            case Attempt::WriteFailed:
                return Outcome::NoAnswer;
            case Attempt::Complete:
                if (accept()) return Outcome::Accepted;
                if (!retryRejected) return Outcome::Rejected;
                break;
            case Attempt::Incomplete:
                break;
        }
    }
    return Outcome::NoAnswer;
}

}  // namespace

uint8_t CommandExchange::AnsweredCommand(uint8_t command) {
    const std::array<uint8_t, 1> request{command};
    std::span<uint8_t> answer = reply_.first(1);
    switch (RunAttempts(port_, request, answer, false, [&] { return answer[0] == ACK; })) {
        case Outcome::Accepted:
            return kAccepted;
        case Outcome::Rejected:
            return kRefused;
        case Outcome::NoAnswer:
            break;
    }
    return kNoAnswer;
}

bool CommandExchange::AcknowledgedCommand(uint8_t command) {
    const std::array<uint8_t, 1> request{command};
    std::array<uint8_t, 256> own{};  // the caller never sees this answer
    std::span<uint8_t> answer(own.data(), 1);
    return RunAttempts(port_, request, answer, true, [&] { return answer[0] == ACK; }) ==
           Outcome::Accepted;
}

bool CommandExchange::BlockRequest(int32_t replyLength, std::span<uint8_t> buffer,
                                   std::span<const uint8_t> request) {
    if (replyLength <= 0 || static_cast<std::size_t>(replyLength) > buffer.size() ||
        request.empty() || request.size() > 255) {
        return false;
    }
    std::span<uint8_t> answer = buffer.first(static_cast<std::size_t>(replyLength));
    return RunAttempts(port_, request, answer, false, [] { return true; }) == Outcome::Accepted;
}

bool CommandExchange::BlockRequest(int32_t replyLength, uint8_t command) {
    const std::array<uint8_t, 1> request{command};
    return BlockRequest(replyLength, reply_, request);
}

}  // namespace zul
