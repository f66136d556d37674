#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "serial/FileStore.h"
#include "serial/LineMonitor.h"

namespace zul {

// The line monitor's file: one line of plain text per event, appended, so
// several runs go into one file. Each line starts with the time in ms since
// the port was last opened, to the microsecond, and a tag:
//
//       1001.532  PURGE    receive queue, 0 bytes dropped
//       1001.561  TX       B6  (1.203 ms)
//       1004.870  RX       06  (1 of 1 bytes, 3.309 ms)
//
// Tags: OPEN, CONFIG, CLOSE, SET (the read time-out), PURGE, TX, RX, TIMEOUT, RETRY,
// QUIET, ERROR. Each line is one write; nothing is synced, so the monitor
// costs the line a few microseconds an event.
class LineTrace final : public LineMonitor {
public:
    // Opens path for appending and writes the header line (text after "# ").
    // False, with the reason in error, when it cannot be opened.
    bool Open(const std::string& path, std::string_view header, std::string& error);

    void Opened(int64_t ns, std::string_view portName, std::string_view device,
                uint32_t code) override;
    void Configured(int64_t ns, const LineSettings& line, uint32_t code) override;
    void Closed(int64_t ns) override;
    void ReadTimeoutSet(int64_t ns, uint16_t ms) override;
    void Purged(int64_t ns, int32_t dropped) override;
    void TransmitPurged(int64_t ns) override;
    void Written(int64_t ns, std::span<const uint8_t> bytes, bool sent, int64_t tookNs) override;
    void Received(int64_t ns, std::span<const uint8_t> bytes, size_t asked,
                  int64_t tookNs) override;
    void ReceiveFailed(int64_t ns, std::string_view what) override;
    void QuietWait(int64_t ns, int64_t tookNs, std::span<const uint8_t> dropped,
                   int failures) override;
    void Retry(uint8_t command, int attempt, int attempts) override;

    // "9600 8E1": baud rate, data bits, parity (N, O, E) and stop bits.
    static std::string LineText(const LineSettings& line);
    // The bytes in hex, "06 00 3F".
    static std::string Hex(std::span<const uint8_t> bytes);

private:
    void Emit(int64_t ns, std::string_view tag, std::string_view text);

    AppendFile file_;
    bool haveOrigin_ = false;
    int64_t originNs_ = 0;  // the last opening
    int64_t lastNs_ = 0;
};

}  // namespace zul
