#pragma once

#include <cstdint>

namespace zul {

// Decodes the receive stream of a tty with PARMRK set and IGNPAR clear, one
// raw byte at a time:
//   0xFF 0xFF      -> a received 0xFF
//   0xFF 0x00 X    -> byte X received with a parity or framing error
//                     (X 0x00 can also be a break; both are line errors)
//   0xFF Y (Y not 0x00 or 0xFF) -> a malformed mark, reported as a line error
//   any other byte -> itself
// A mark sequence may be split across any number of Feed calls; the decoder
// keeps the partial sequence until it is complete or Reset is called.
class ParityMarkDecoder {
public:
    enum class Kind : uint8_t {
        kNone,       // the raw byte began or continued a mark; nothing received yet
        kByte,       // a good byte was received (in Result::byte)
        kLineError,  // a byte with a parity or framing error, a break, or a malformed mark
    };
    struct Result {
        Kind kind = Kind::kNone;
        uint8_t byte = 0;  // the received byte (kByte), or the marked byte (kLineError)
    };

    // Takes the next raw byte of the stream and returns what it completes.
    Result Feed(uint8_t raw);

    // True while a mark sequence has begun but is not complete.
    bool Pending() const { return state_ != State::kIdle; }

    // Drops a partial mark sequence.
    void Reset() { state_ = State::kIdle; }

private:
    enum class State : uint8_t { kIdle, kAfterMark, kAfterMarkZero };
    State state_ = State::kIdle;
};

}  // namespace zul
