// The line monitor: what the trace shows of a silent unit and of answers,
// late bytes and line errors, and that watching the line changes nothing the
// line does.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <fstream>
#include <string>
#include <vector>

#include "mock/TemporaryDirectory.h"
#include "serial/CommandExchange.h"
#include "serial/Line.h"
#include "serial/LineTrace.h"
#include "serial/PortNames.h"

namespace zul {
namespace {

using ::testing::HasSubstr;

constexpr int64_t kMs = 1'000'000;

// A device that plays back the receives a test lists, on a clock of its own,
// and logs every call the line makes (the monitor's own questions, which
// decide nothing, are not logged). A receive with nothing listed waits out
// its whole time-out and takes nothing.
class ScriptedDevice final : public LineDevice {
public:
    struct Receipt {
        std::vector<uint8_t> bytes;
        int64_t afterNs = 3 * kMs;
        bool lineError = false;
        int32_t queuedBehind = 0;  // what the receive queue holds after it
    };
    std::deque<Receipt> script;
    std::vector<std::string> log;
    int64_t now = 0;

    uint32_t Open(const std::string&) override {
        open_ = true;
        return 0;
    }
    uint32_t Configure(const LineSettings&) override { return 0; }
    void Close() override { open_ = false; }
    bool IsOpen() const override { return open_; }
    void PurgeReceive() override {
        log.push_back("purge in");
        queued_ = 0;
    }
    void PurgeTransmit() override { log.push_back("purge out"); }
    void ClearLineErrors() override { log.push_back("clear"); }
    bool Send(std::span<const uint8_t> bytes, uint32_t boundMs) override {
        log.push_back("send " + LineTrace::Hex(bytes) + " within " + std::to_string(boundMs));
        now += static_cast<int64_t>(bytes.size()) * 1'145'834;
        return true;
    }
    int32_t Receive(std::span<uint8_t> buffer, ReadTimeouts timeouts) override {
        log.push_back("receive " + std::to_string(buffer.size()) + " within " +
                      std::to_string(timeouts.TotalNs(buffer.size())));
        if (script.empty()) {
            now += timeouts.TotalNs(buffer.size());
            return 0;
        }
        const Receipt r = script.front();
        script.pop_front();
        now += r.afterNs;
        queued_ = r.queuedBehind;
        if (r.lineError) return -1;
        const size_t n = std::min(buffer.size(), r.bytes.size());
        std::copy_n(r.bytes.begin(), n, buffer.begin());
        return static_cast<int32_t>(n);
    }
    ReceiveDelay Delivery() const override { return {0, 0}; }
    int64_t NowNs() override { return now; }
    int32_t ReceiveQueued() override { return queued_; }
    std::string ReceiveFailure() const override { return "parity error after 0 bytes"; }

private:
    bool open_ = false;
    int32_t queued_ = 0;
};

// A line on a scripted device, with or without a trace into a file.
struct Bench {
    explicit Bench(bool monitored) {
        if (monitored) {
            std::string error;
            EXPECT_TRUE(trace.Open(path, "test trace", error)) << error;
            line->SetMonitor(&trace);
        }
        line->OpenDevice("COM1");
        line->Configure(LineSettings{.portName = "COM1"});
    }
    std::vector<std::string> Lines() const {
        std::ifstream in(path, std::ios::binary);
        std::vector<std::string> lines;
        for (std::string text; std::getline(in, text);) lines.push_back(text);
        return lines;
    }
    // The tag of each event line, in order.
    std::vector<std::string> Tags() const {
        std::vector<std::string> tags;
        for (const std::string& text : Lines()) {
            if (text.size() > 14 && text[0] != '#')
                tags.push_back(text.substr(14, text.find(' ', 14) - 14));
        }
        return tags;
    }

    test::TemporaryDirectory dir;
    std::string path = dir.File("line.trace");
    LineTrace trace;
    ScriptedDevice* device = new ScriptedDevice;  // owned by the line
    std::unique_ptr<Line> line = std::make_unique<Line>(std::unique_ptr<LineDevice>(device));
    std::array<uint8_t, 32> reply{};
    CommandExchange link{*line, reply};
};

TEST(LineMonitor, ASilentUnitShowsEveryAttemptWithItsTimeOut) {
    Bench b(true);
    EXPECT_EQ(b.link.AnsweredCommand(0xB6), CommandExchange::kNoAnswer);
    b.line->Close();

    const std::vector<std::string> lines = b.Lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "# test trace");
    EXPECT_EQ(lines[1],
              "       0.000  OPEN     COM1 (" + DevicePathForPort("COM1").value_or("") + "): ok");
    EXPECT_EQ(lines[2], "       0.000  CONFIG   9600 8E1: ok");
    const std::vector<std::string> attempt = {"PURGE", "TX", "TIMEOUT", "PURGE"};
    std::vector<std::string> expected;
    for (int n = 1; n <= 4; ++n) {
        if (n > 1) expected.insert(expected.end(), {"RETRY", "QUIET"});
        expected.insert(expected.end(), attempt.begin(), attempt.end());
    }
    std::vector<std::string> tags = b.Tags();
    ASSERT_EQ(tags.size(), expected.size() + 3);
    EXPECT_EQ(std::vector<std::string>(tags.begin() + 2, tags.end() - 1), expected);
    EXPECT_EQ(tags.back(), "CLOSE");
    // The first attempt: the command out after 1.146 ms on the line, nothing
    // back in 10 ms + 2000 ms; then the retries and the wait for quiet.
    EXPECT_EQ(lines[4], "       1.146  TX       B6  (1.146 ms)");
    EXPECT_EQ(lines[5], "    2011.146  TIMEOUT  nothing  (0 of 1 bytes, 2010.000 ms)");
    EXPECT_EQ(lines[7], "    2011.146  RETRY    B6, attempt 2 of 4");
    EXPECT_EQ(lines[8], "    2032.146  QUIET    waited 21.000 ms, 0 bytes dropped");
    EXPECT_THAT(lines[lines.size() - 7], HasSubstr("RETRY    B6, attempt 4 of 4"));
}

TEST(LineMonitor, AnswersLateBytesAndLineErrorsAreShownAsTheyCame) {
    Bench b(true);
    // An ACK with two padding bytes behind it; a block of 12 that stops at
    // 5 bytes, then its tail arriving late; a byte with a parity error.
    b.device->script = {
        {{0x06}, 3 * kMs, false, 2},
        {{0x15}, 1 * kMs},  // the tail check meets a padding byte
        {},                 // then the line is quiet
        {{1, 2, 3, 4, 5}, 130 * kMs},
        {{6}, 2 * kMs},
        {{7}, 2 * kMs},
        {},
        {{}, 5 * kMs, true},
    };
    EXPECT_EQ(b.link.AnsweredCommand(0xB0), CommandExchange::kAccepted);
    std::array<uint8_t, 12> block{};
    const std::array<uint8_t, 1> enq{0x05};
    b.line->WritePort(enq);
    EXPECT_EQ(b.line->ReadPort(block), 5u);
    b.line->WritePort(enq);
    EXPECT_EQ(b.line->ReadPort(block), 0u);

    const std::vector<std::string> lines = b.Lines();
    const auto with = [&](const std::string& text) {
        for (const std::string& l : lines) {
            if (l.find(text) != std::string::npos) return l.substr(14);
        }
        return std::string("(none with ") + text + ")";
    };
    EXPECT_EQ(with("RX"), "RX       06  (1 of 1 bytes, 3.000 ms)");
    EXPECT_EQ(with("PURGE    receive queue, 2"), "PURGE    receive queue, 2 bytes dropped");
    EXPECT_EQ(with("QUIET    waited 4"), "QUIET    waited 4.000 ms, 1 bytes dropped: 15");
    EXPECT_EQ(with("TIMEOUT"), "TIMEOUT  01 02 03 04 05  (5 of 12 bytes, 130.000 ms)");
    EXPECT_EQ(with("QUIET    waited 7"), "QUIET    waited 7.000 ms, 2 bytes dropped: 06 07");
    EXPECT_EQ(with("ERROR"), "ERROR    parity error after 0 bytes");
    // The time column never goes back.
    double last = 0;
    for (const std::string& l : lines) {
        if (l[0] == '#') continue;
        const double ms = std::stod(l.substr(0, 12));
        EXPECT_GE(ms, last) << l;
        last = ms;
    }
}

TEST(LineMonitor, WatchingTheLineChangesNothingItDoes) {
    const auto run = [](bool monitored) {
        Bench b(monitored);
        b.device->script = {{{0x06}, 3 * kMs, false, 2},
                            {{0x15}, kMs},
                            {},
                            {{1, 2}, 40 * kMs},
                            {{3}, 2 * kMs},
                            {},
                            {{}, kMs, true}};
        std::vector<int> outcomes{b.link.AnsweredCommand(0xB6), b.link.BlockRequest(4, 0x05),
                                  b.link.AcknowledgedCommand(0xA7), b.link.BlockRequest(2, 0x05)};
        b.line->SetReadTimeout(5000);
        outcomes.push_back(b.link.BlockRequest(1, 0xA6));
        return std::make_tuple(outcomes, b.device->log, b.device->now, b.link.retries());
    };
    EXPECT_EQ(run(true), run(false));
}

}  // namespace
}  // namespace zul
