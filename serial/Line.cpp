#include "serial/Line.h"

#include <algorithm>
#include <array>
#include <utility>

#include "serial/PortNames.h"

namespace zul {

namespace {

// The adapter's receive latency the quiet time allows for: a USB adapter
// that refuses low latency passes received bytes on after up to 16 ms.
constexpr uint32_t kAdapterLatencyMs = 16;
constexpr int kQuietByteTimes = 4;

int64_t ByteTimeNsFor(const LineSettings& line) {
    const int bits =
        1 + 8 + (line.parity != kNoParity ? 1 : 0) + (line.stopBits == kTwoStopBits ? 2 : 1);
    const int64_t baud = line.baudRate > 0 ? line.baudRate : 9600;
    return (bits * 1'000'000'000LL + baud - 1) / baud;
}

uint32_t CeilMs(int64_t ns) {
    return static_cast<uint32_t>((ns + 999'999) / 1'000'000);
}

}  // namespace

Line::Line(std::unique_ptr<LineDevice> device)
    : device_(std::move(device)), byteTimeNs_(ByteTimeNsFor(LineSettings{})) {}

uint32_t Line::OpenDevice(const std::string& portName) {
    answerMayBeLate_ = false;
    surplusMayFollow_ = false;
    const uint32_t code = device_->Open(portName);
    if (monitor_ != nullptr) {
        monitor_->Opened(device_->NowNs(), portName, DevicePathForPort(portName).value_or(""),
                         code);
    }
    return code;
}

uint32_t Line::Configure(const LineSettings& line) {
    const uint32_t code = device_->Configure(line);
    if (code == kOk) {
        readTimeoutMs_ = kDefaultReadTimeoutMs;
        byteTimeNs_ = ByteTimeNsFor(line);
        answerMayBeLate_ = false;
        surplusMayFollow_ = false;
    }
    if (monitor_ != nullptr) monitor_->Configured(device_->NowNs(), line, code);
    return code;
}

void Line::Close() {
    const bool wasOpen = device_->IsOpen();
    device_->Close();
    if (monitor_ != nullptr && wasOpen) monitor_->Closed(device_->NowNs());
}

void Line::SetReadTimeout(uint16_t ms) {
    if (monitor_ != nullptr && ms != readTimeoutMs_) monitor_->ReadTimeoutSet(device_->NowNs(), ms);
    readTimeoutMs_ = ms;
}

bool Line::IsOpen() const {
    return device_->IsOpen();
}

uint32_t Line::WriteBoundMs(size_t count) const {
    return CeilMs(static_cast<int64_t>(count) * byteTimeNs_) + readTimeoutMs_;
}

uint32_t Line::QuietMs() const {
    return CeilMs(kQuietByteTimes * byteTimeNs_) + kAdapterLatencyMs;
}

int64_t Line::SurplusBoundNs() const {
    const LineDevice::ReceiveDelay delay = device_->Delivery();
    return (2 + delay.byteTimes) * byteTimeNs_ + static_cast<int64_t>(delay.ms) * 1'000'000;
}

bool Line::SurplusFollows(LateBytes& late) {
    const int64_t left = std::max<int64_t>(readEndNs_ + SurplusBoundNs() - device_->NowNs(), 0);
    std::array<uint8_t, 1> byte{};
    const int32_t n =
        device_->Receive(byte, ReadTimeouts{0, static_cast<uint32_t>(left / 1'000'000),
                                            static_cast<uint32_t>(left % 1'000'000)});
    if (n < 0) {
        ReceiveFailed();
    }
    late.Take(n, byte[0]);
    return n != 0;
}

void Line::LetLateAnswerPass(LateBytes& late, int64_t startNs) {
    const ReadTimeouts quiet{0, QuietMs()};
    std::array<uint8_t, 1> byte{};
    for (int taken = 0; taken < kLateBytesMax; ++taken) {
        const int32_t n = device_->Receive(byte, quiet);
        if (n == 0) {
            break;  // quiet for the whole quiet time
        }
        if (n < 0) {
            ReceiveFailed();
        }
        late.Take(n, byte[0]);
        if (!device_->IsOpen()) break;  // gone (a hang-up): nothing more can come
    }
    if (monitor_ != nullptr) {
        const int64_t now = device_->NowNs();
        monitor_->QuietWait(now, now - startNs, std::span(late.bytes).first(late.count),
                            late.failures);
    }
}

void Line::ReceiveFailed() {
    if (monitor_ != nullptr) monitor_->ReceiveFailed(device_->NowNs(), device_->ReceiveFailure());
    device_->ClearLineErrors();
}

// With a monitor, the events of a write and of a read are told once the
// purge and the send (or the read's purge) are done, so that telling them
// never comes between steps whose timing matters.
bool Line::WritePort(std::span<const uint8_t> bytes) {
    if (!device_->IsOpen()) {
        return false;
    }
    const bool surplusMayFollow = std::exchange(surplusMayFollow_, false);
    LateBytes late;
    const int64_t checkNs = MonitorNow();
    if (std::exchange(answerMayBeLate_, false) || (surplusMayFollow && SurplusFollows(late))) {
        LetLateAnswerPass(late, checkNs);
    }
    const int32_t queued = monitor_ != nullptr ? device_->ReceiveQueued() : -1;
    const int64_t purgeNs = MonitorNow();
    device_->PurgeReceive();
    device_->ClearLineErrors();
    const int64_t sendNs = MonitorNow();
    const bool sent = device_->Send(bytes, WriteBoundMs(bytes.size()));
    if (monitor_ != nullptr) {
        const int64_t now = device_->NowNs();
        monitor_->Purged(purgeNs, queued);
        monitor_->Written(now, bytes, sent, now - sendNs);
    }
    if (!sent) {
        device_->PurgeTransmit();
        device_->ClearLineErrors();
        if (monitor_ != nullptr) monitor_->TransmitPurged(device_->NowNs());
        return false;
    }
    return true;
}

uint32_t Line::ReadPort(std::span<uint8_t> buffer) {
    if (!device_->IsOpen()) {
        return 0;
    }
    const int64_t startNs = MonitorNow();
    const int32_t n = device_->Receive(buffer, ReadTimeouts{kReadTimeoutPerByteMs, readTimeoutMs_});
    const int64_t endNs = MonitorNow();
    if (n < 0) {
        ReceiveFailed();
        const int32_t queued = monitor_ != nullptr ? device_->ReceiveQueued() : -1;
        device_->PurgeReceive();
        if (monitor_ != nullptr) monitor_->Purged(device_->NowNs(), queued);
        answerMayBeLate_ = true;
        return 0;
    }
    const int32_t queued = monitor_ != nullptr ? device_->ReceiveQueued() : -1;
    device_->PurgeReceive();
    answerMayBeLate_ = static_cast<size_t>(n) < buffer.size();
    surplusMayFollow_ = !answerMayBeLate_;
    readEndNs_ = device_->NowNs();
    if (monitor_ != nullptr) {
        monitor_->Received(endNs, buffer.first(static_cast<size_t>(n)), buffer.size(),
                           endNs - startNs);
        monitor_->Purged(readEndNs_, queued);
    }
    return static_cast<uint32_t>(n);
}

}  // namespace zul
