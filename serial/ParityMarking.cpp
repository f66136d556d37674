#include "serial/ParityMarking.h"

namespace zul {

namespace {
constexpr uint8_t kMark = 0xFF;
constexpr uint8_t kErrorFlag = 0x00;
}  // namespace

ParityMarkDecoder::Result ParityMarkDecoder::Feed(uint8_t raw) {
    switch (state_) {
        case State::kIdle:
            if (raw == kMark) {
                state_ = State::kAfterMark;
                return {};
            }
            return {Kind::kByte, raw};
        case State::kAfterMark:
            if (raw == kMark) {
                state_ = State::kIdle;
                return {Kind::kByte, kMark};
            }
            if (raw == kErrorFlag) {
                state_ = State::kAfterMarkZero;
                return {};
            }
            // The line discipline never produces this; the stream cannot be
            // trusted, so the byte counts as a line error.
            state_ = State::kIdle;
            return {Kind::kLineError, raw};
        case State::kAfterMarkZero:
            state_ = State::kIdle;
            return {Kind::kLineError, raw};
    }
    state_ = State::kIdle;
    return {};
}

}  // namespace zul
