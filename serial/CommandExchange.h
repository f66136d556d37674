#pragma once

#include <cstdint>
#include <span>

#include "serial/SerialPort.h"

namespace zul {

// The three ways one command is exchanged with the unit, each a write of the
// request and a blocking read of the answer, with at most four attempts.
// Keeps no state between calls but two counters, and tells the port's line
// monitor (if any) of every retry.
class CommandExchange {
public:
    // Outcomes of AnsweredCommand.
    static constexpr uint8_t kAccepted = 1;    // ACK received
    static constexpr uint8_t kRefused = 0;     // another byte received
    static constexpr uint8_t kNoAnswer = 255;  // writing failed, or no byte in four attempts

    static constexpr uint8_t kMaxAttempts = 4;

    // port: the open port (not owned). reply: the measurement record's
    // receive buffer (not owned, at least 31 bytes); AnsweredCommand leaves
    // its answer byte in reply[0].
    CommandExchange(SerialPort& port, std::span<uint8_t> reply) : port_(port), reply_(reply) {}

    // One command byte out, one answer byte back into reply[0].
    // A refusal is final; a missing answer is retried; a failed write returns
    // kNoAnswer at once.
    uint8_t AnsweredCommand(uint8_t command);

    // One command byte out; true only when ACK comes back. A refusal is
    // retried like a missing answer; a failed write returns false at once.
    bool AcknowledgedCommand(uint8_t command);

    // The request bytes out (at most 255), exactly replyLength bytes back into
    // buffer. A short or missing reply is retried and never delivered; a
    // failed write returns false at once. False without sending when
    // replyLength is not positive or exceeds the buffer.
    bool BlockRequest(int32_t replyLength, std::span<uint8_t> buffer,
                      std::span<const uint8_t> request);

    // BlockRequest with one command byte into the reply buffer.
    bool BlockRequest(int32_t replyLength, uint8_t command);

    // Changes the read time-out constant of the port (ms).
    void SetReadTimeout(uint16_t ms) { port_.SetReadTimeout(ms); }

    std::span<uint8_t> reply() const { return reply_; }
    SerialPort& port() const { return port_; }

    // Exchanges begun, and attempts after the first of one, since the
    // exchange was made.
    uint32_t exchanges() const { return exchanges_; }
    uint32_t retries() const { return retries_; }

private:
    template <typename Accept>
    uint8_t RunAttempts(std::span<const uint8_t> request, std::span<uint8_t> answer,
                        bool retryRejected, Accept accept);

    SerialPort& port_;
    std::span<uint8_t> reply_;
    uint32_t exchanges_ = 0;
    uint32_t retries_ = 0;
};

}  // namespace zul
