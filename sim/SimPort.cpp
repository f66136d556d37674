#include "sim/SimPort.h"

#include <algorithm>

namespace zul::sim {

SimPort::SimPort(SimUnit& unit, ManualClock& clock) : unit_(unit), clock_(clock) {}

uint32_t SimPort::OpenDevice(const std::string& portName) {
    Close();
    portName_ = portName;
    if (openError_ != kOk) return openError_;
    open_ = true;
    return kOk;
}

uint32_t SimPort::Configure(const LineSettings& line) {
    pending_.reset();
    if (!open_) return kErrorInUse;
    line_ = line;
    timeoutMs_ = kDefaultReadTimeoutMs;
    return kOk;
}

void SimPort::Close() {
    open_ = false;
    pending_.reset();
}

bool SimPort::WritePort(std::span<const uint8_t> bytes) {
    ++writes_;
    if (!open_ || failWrites_) return false;
    // A new request replaces an answer nobody read: it arrived before the
    // next read's receive purge and is lost there.
    Answer answer;
    for (uint8_t byte : bytes) {
        Answer one = unit_.Receive(byte);
        if (!one.bytes.empty()) answer.delayMs = std::max(answer.delayMs, one.delayMs);
        answer.bytes.insert(answer.bytes.end(), one.bytes.begin(), one.bytes.end());
    }
    pending_ = std::move(answer);
    return true;
}

uint32_t SimPort::ReadPort(std::span<uint8_t> buffer) {
    ++reads_;
    // The answer is consumed by this read whatever happens: what it does not
    // take is purged before the next one.
    std::optional<Answer> answer = std::move(pending_);
    pending_.reset();
    if (!open_ || buffer.empty()) return 0;

    const uint64_t deadlineMs =
        uint64_t{kReadTimeoutPerByteMs} * buffer.size() + uint64_t{timeoutMs_};
    size_t arrived = 0;
    if (answer && answer->delayMs <= deadlineMs) {
        arrived = std::min(answer->bytes.size(), buffer.size());
        std::copy_n(answer->bytes.begin(), arrived, buffer.begin());
    }
    if (arrived == buffer.size()) {
        clock_.Advance(answer->delayMs);
    } else {
        clock_.Advance(deadlineMs);  // a real line waits out the whole time-out
    }
    return static_cast<uint32_t>(arrived);
}

}  // namespace zul::sim
