#include "serial/LineTrace.h"

#include <cstdio>

namespace zul {

namespace {

std::string Ms(int64_t ns) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f ms", static_cast<double>(ns) / 1e6);
    return text;
}

std::string Outcome(uint32_t code) {
    return code == 0 ? "ok" : "error " + std::to_string(code);
}

}  // namespace

bool LineTrace::Open(const std::string& path, std::string_view header, std::string& error) {
    if (!file_.Open(path, error)) return false;
    file_.Append("# " + std::string(header) + "\n");
    return true;
}

std::string LineTrace::LineText(const LineSettings& line) {
    const char parity = line.parity == kOddParity ? 'O' : line.parity == kEvenParity ? 'E' : 'N';
    return std::to_string(line.baudRate) + " " + std::to_string(line.byteSize) + parity +
           (line.stopBits == kTwoStopBits ? "2" : "1");
}

std::string LineTrace::Hex(std::span<const uint8_t> bytes) {
    std::string text;
    text.reserve(bytes.size() * 3);
    for (uint8_t byte : bytes) {
        char pair[4];
        std::snprintf(pair, sizeof pair, text.empty() ? "%02X" : " %02X", byte);
        text += pair;
    }
    return text;
}

void LineTrace::Emit(int64_t ns, std::string_view tag, std::string_view text) {
    if (!haveOrigin_) {
        haveOrigin_ = true;
        originNs_ = ns;
    }
    lastNs_ = ns;
    char head[48];
    std::snprintf(head, sizeof head, "%12.3f  %-8.*s ", static_cast<double>(ns - originNs_) / 1e6,
                  static_cast<int>(tag.size()), tag.data());
    std::string line = head;
    line += text;
    line.erase(line.find_last_not_of(' ') + 1);
    line += '\n';
    file_.Append(line);
}

void LineTrace::Opened(int64_t ns, std::string_view portName, std::string_view device,
                       uint32_t code) {
    haveOrigin_ = true;
    originNs_ = ns;
    Emit(ns, "OPEN",
         std::string(portName) + " (" + std::string(device.empty() ? "no device" : device) +
             "): " + Outcome(code));
}

void LineTrace::Configured(int64_t ns, const LineSettings& line, uint32_t code) {
    Emit(ns, "CONFIG", LineText(line) + ": " + Outcome(code));
}

void LineTrace::Closed(int64_t ns) {
    Emit(ns, "CLOSE", "");
}

void LineTrace::ReadTimeoutSet(int64_t ns, uint16_t ms) {
    Emit(ns, "SET", "read time-out " + std::to_string(ms) + " ms");
}

void LineTrace::Purged(int64_t ns, int32_t dropped) {
    Emit(ns, "PURGE",
         dropped < 0 ? std::string("receive queue")
                     : "receive queue, " + std::to_string(dropped) + " bytes dropped");
}

void LineTrace::TransmitPurged(int64_t ns) {
    Emit(ns, "PURGE", "transmit queue");
}

void LineTrace::Written(int64_t ns, std::span<const uint8_t> bytes, bool sent, int64_t tookNs) {
    Emit(ns, "TX", Hex(bytes) + "  (" + Ms(tookNs) + (sent ? ")" : ", NOT SENT)"));
}

void LineTrace::Received(int64_t ns, std::span<const uint8_t> bytes, size_t asked, int64_t tookNs) {
    const std::string counts = std::to_string(bytes.size()) + " of " + std::to_string(asked) +
                               " bytes, " + Ms(tookNs) + ")";
    if (bytes.size() == asked) {
        Emit(ns, "RX", Hex(bytes) + "  (" + counts);
    } else {
        Emit(ns, "TIMEOUT", (bytes.empty() ? std::string("nothing") : Hex(bytes)) + "  (" + counts);
    }
}

void LineTrace::ReceiveFailed(int64_t ns, std::string_view what) {
    Emit(ns, "ERROR", what);
}

void LineTrace::QuietWait(int64_t ns, int64_t tookNs, std::span<const uint8_t> dropped,
                          int failures) {
    std::string text =
        "waited " + Ms(tookNs) + ", " + std::to_string(dropped.size()) + " bytes dropped";
    if (!dropped.empty()) text += ": " + Hex(dropped);
    if (failures > 0) text += ", " + std::to_string(failures) + " failed receives";
    Emit(ns, "QUIET", text);
}

void LineTrace::Retry(uint8_t command, int attempt, int attempts) {
    char text[48];
    std::snprintf(text, sizeof text, "%02X, attempt %d of %d", command, attempt, attempts);
    Emit(lastNs_, "RETRY", text);
}

}  // namespace zul
