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

}  // namespace

// Repeats the exchange while attempts remain. `accept` judges a complete
// answer; a rejected answer counts as a failed attempt when `retryRejected`,
// otherwise it ends the exchange. Returns kAccepted, kRefused (rejected) or
// kNoAnswer.
template <typename Accept>
uint8_t CommandExchange::RunAttempts(std::span<const uint8_t> request, std::span<uint8_t> answer,
                                     bool retryRejected, Accept accept) {
    ++exchanges_;
    for (uint8_t attempt = 0; attempt < kMaxAttempts; ++attempt) {
        if (attempt > 0) {
            ++retries_;
            if (LineMonitor* monitor = port_.Monitor()) {
                monitor->Retry(request[0], attempt + 1, kMaxAttempts);
            }
        }
        switch (TryOnce(port_, request, answer)) {
            case Attempt::WriteFailed:
                return kNoAnswer;
            case Attempt::Complete:
                if (accept()) return kAccepted;
                if (!retryRejected) return kRefused;
                break;
            case Attempt::Incomplete:
                break;
        }
    }
    return kNoAnswer;
}

uint8_t CommandExchange::AnsweredCommand(uint8_t command) {
    const std::array<uint8_t, 1> request{command};
    std::span<uint8_t> answer = reply_.first(1);
    return RunAttempts(request, answer, false, [&] { return answer[0] == ACK; });
}

bool CommandExchange::AcknowledgedCommand(uint8_t command) {
    const std::array<uint8_t, 1> request{command};
    std::array<uint8_t, 256> own{};  // the caller never sees this answer
    std::span<uint8_t> answer(own.data(), 1);
    return RunAttempts(request, answer, true, [&] { return answer[0] == ACK; }) == kAccepted;
}

bool CommandExchange::BlockRequest(int32_t replyLength, std::span<uint8_t> buffer,
                                   std::span<const uint8_t> request) {
    if (replyLength <= 0 || static_cast<std::size_t>(replyLength) > buffer.size() ||
        request.empty() || request.size() > 255) {
        return false;
    }
    std::span<uint8_t> answer = buffer.first(static_cast<std::size_t>(replyLength));
    return RunAttempts(request, answer, false, [] { return true; }) == kAccepted;
}

bool CommandExchange::BlockRequest(int32_t replyLength, uint8_t command) {
    const std::array<uint8_t, 1> request{command};
    return BlockRequest(replyLength, reply_, request);
}

}  // namespace zul
