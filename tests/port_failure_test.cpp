// Vanished and contested ports over pseudo-terminals: the unit side going
// away in the middle of an exchange, the device path disappearing and coming
// back, a port held by another program, and devices that are no serial line.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "mock/CaseNames.h"
#include "mock/HoldingChild.h"
#include "mock/PtyPeer.h"
#include "mock/RecordingMessageSink.h"
#include "mock/TemporaryDirectory.h"
#include "serial/CommandExchange.h"
#include "serial/Commands.h"
#include "serial/PortSession.h"
#include "serial/TermiosPort.h"

namespace zul {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::steady_clock;
using test::PtyPeer;
using test::RecordingMessageSink;

// Wall and processor time of a stretch of code, in ms.
struct Cost {
    int64_t wallMs = 0;
    int64_t cpuMs = 0;
};

int64_t CpuNowUs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

Cost Measure(const std::function<void()>& work) {
    const auto wall = steady_clock::now();
    const int64_t cpu = CpuNowUs();
    work();
    return {std::chrono::duration_cast<milliseconds>(steady_clock::now() - wall).count(),
            (CpuNowUs() - cpu) / 1000};
}

// A waiting read spends next to no processor time; a loop that spins on a
// dead descriptor would burn about as much as the wall time.
constexpr int64_t kMaxCpuMs = 150;
// How long the unit takes to process a command before it answers.
constexpr milliseconds kUnitLatency{5};

// COM1 is a symbolic link in a scratch directory, so that the device path
// can vanish and come back.
class PortFailureTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.ok());
        setenv("ZUL10_COM1", link_.c_str(), 1);
        ASSERT_TRUE(unit_.ok());
        PointLinkAt(unit_.slave());
    }
    void TearDown() override {
        if (peer_.joinable()) peer_.join();
        port_.Close();
        unsetenv("ZUL10_COM1");
    }

    void PointLinkAt(const std::string& target) {
        std::error_code ec;
        fs::remove(link_, ec);
        fs::create_symlink(target, link_);
    }
    std::string Slurp() const { return test::ReadFile(settings_); }
    // Opens COM1 through the session, as the program's start-up does.
    void OpenThroughSession() {
        session_.FormCreate();
        ASSERT_TRUE(session_.portOpen()) << (sink_.boxes.empty() ? "" : sink_.boxes[0].text);
        ASSERT_TRUE(sink_.boxes.empty());
    }
    // The unit takes one command and answers ACK after its processing time
    // (an answer written before the read's receive purge would be lost, as on
    // a real line).
    void AnswerOnce(std::vector<uint8_t> answer = {ACK}) {
        peer_ = std::thread([this, answer] {
            if (unit_.ReadByte() < 0) return;
            std::this_thread::sleep_for(kUnitLatency);
            unit_.Write(answer);
        });
    }
    void JoinPeer() {
        if (peer_.joinable()) peer_.join();
    }

    // In order of construction: the session takes the settings path.
    test::TemporaryDirectory dir_;
    fs::path link_ = dir_.path() / "ttyCOM1";
    std::string settings_ = dir_.File(kSettingsFileName);
    PtyPeer unit_;
    TermiosPort port_;
    RecordingMessageSink sink_;
    PortSession session_{port_, sink_, settings_};
    std::array<uint8_t, 64> reply_{};
    CommandExchange exchange_{port_, reply_};
    std::thread peer_;
};

// ---- The unit side going away in the middle of an exchange ----------------

struct MidExchange {
    const char* name;
    std::vector<uint8_t> sentBeforeHangUp;  // what the unit manages to send
    // Runs the exchange; true when it reported success.
    std::function<bool(CommandExchange&)> run;
};
void PrintTo(const MidExchange& c, std::ostream* os) {
    *os << c.name;
}

class MidExchangeHangUpTest : public PortFailureTest,
                              public ::testing::WithParamInterface<MidExchange> {};

TEST_P(MidExchangeHangUpTest, EndsInFailureWithinOneTimeOutWithoutSpinning) {
    ASSERT_NO_FATAL_FAILURE(OpenThroughSession());
    // The unit takes the command, sends part of its answer, then goes away.
    peer_ = std::thread([this] {
        if (unit_.ReadByte() < 0) return;
        unit_.Write(GetParam().sentBeforeHangUp);
        std::this_thread::sleep_for(milliseconds(100));
        unit_.HangUp();
    });
    bool succeeded = true;
    const Cost cost = Measure([&] { succeeded = GetParam().run(exchange_); });
    JoinPeer();
    EXPECT_FALSE(succeeded);
    // One read time-out is 2000 ms plus 10 ms a byte; the hang-up ends it far
    // sooner, and the retries fail at the write.
    EXPECT_LT(cost.wallMs, 1500);
    EXPECT_LT(cost.cpuMs, kMaxCpuMs);

    // Every later exchange fails at once.
    const Cost next = Measure([&] { succeeded = GetParam().run(exchange_); });
    EXPECT_FALSE(succeeded);
    EXPECT_LT(next.wallMs, 200);
    EXPECT_LT(next.cpuMs, kMaxCpuMs);
}

INSTANTIATE_TEST_SUITE_P(
    Exchanges, MidExchangeHangUpTest,
    ::testing::Values(MidExchange{"AnsweredNothingSent",
                                  {},
                                  [](CommandExchange& e) {
                                      return e.AnsweredCommand(0xB6) != CommandExchange::kNoAnswer;
                                  }},
                      MidExchange{"AcknowledgedNothingSent",
                                  {},
                                  [](CommandExchange& e) { return e.AcknowledgedCommand(0xB4); }},
                      MidExchange{"BlockHalfSent",
                                  {1, 2, 3, 4, 5, 6, 7, 8, 9, 10},
                                  [](CommandExchange& e) { return e.BlockRequest(31, 0xC0); }},
                      MidExchange{"BlockAllButOneSent", std::vector<uint8_t>(30, 0x55),
                                  [](CommandExchange& e) { return e.BlockRequest(31, 0xC0); }}),
    zul::test::FieldName());

TEST_F(PortFailureTest, HungUpBeforeTheExchangeFailsAtOnce) {
    ASSERT_NO_FATAL_FAILURE(OpenThroughSession());
    unit_.HangUp();
    uint8_t result = 0;
    const Cost cost = Measure([&] { result = exchange_.AnsweredCommand(0xB6); });
    EXPECT_EQ(result, CommandExchange::kNoAnswer);
    EXPECT_LT(cost.wallMs, 200);
    EXPECT_LT(cost.cpuMs, kMaxCpuMs);
}

// A unit that stays connected but silent: four full time-outs, all spent
// waiting, none spinning.
TEST_F(PortFailureTest, SilentUnitUsesItsFourTimeOutsAsleep) {
    ASSERT_NO_FATAL_FAILURE(OpenThroughSession());
    exchange_.SetReadTimeout(150);
    uint8_t result = 0;
    const Cost cost = Measure([&] { result = exchange_.AnsweredCommand(0xB6); });
    EXPECT_EQ(result, CommandExchange::kNoAnswer);
    EXPECT_GE(cost.wallMs, 4 * 160);
    EXPECT_LT(cost.wallMs, 4 * 160 + 800);
    EXPECT_LT(cost.cpuMs, kMaxCpuMs);
}

// ---- The device path disappearing and coming back -------------------------

TEST_F(PortFailureTest, VanishedPathKeepsTheOpenPortThenOkReopensWhenItReturns) {
    ASSERT_NO_FATAL_FAILURE(OpenThroughSession());
    const std::string stored = Slurp();

    // The link goes: the open descriptor still reaches the unit.
    fs::remove(link_);
    AnswerOnce();
    EXPECT_EQ(exchange_.AnsweredCommand(0xB6), CommandExchange::kAccepted);
    JoinPeer();

    // OK while it is gone: "not found", port closed, file untouched.
    session_.Ok(session_.selection());
    EXPECT_FALSE(session_.portOpen());
    ASSERT_EQ(sink_.boxes.size(), 1u);
    EXPECT_EQ(sink_.boxes[0].caption, kPortErrorCaption);
    EXPECT_EQ(sink_.boxes[0].text, PortSession::PortErrorText(SerialPort::kErrorNotFound));
    EXPECT_EQ(exchange_.AnsweredCommand(0xB6), CommandExchange::kNoAnswer);
    EXPECT_EQ(Slurp(), stored);

    // It comes back: OK opens it without further ado.
    PointLinkAt(unit_.slave());
    session_.Ok(session_.selection());
    EXPECT_TRUE(session_.portOpen()) << sink_.boxes.back().text;
    EXPECT_EQ(sink_.boxes.size(), 1u);
    AnswerOnce();
    EXPECT_EQ(exchange_.AnsweredCommand(0xB6), CommandExchange::kAccepted);
}

// The adapter is unplugged (the pseudo-terminal goes, and with it its device
// node) and another one is plugged in under the same name.
TEST_F(PortFailureTest, UnpluggedDeviceFailsThenTheReplacementOpens) {
    ASSERT_NO_FATAL_FAILURE(OpenThroughSession());
    unit_.HangUp();
    EXPECT_EQ(exchange_.AnsweredCommand(0xB6), CommandExchange::kNoAnswer);

    session_.Ok(session_.selection());
    EXPECT_FALSE(session_.portOpen());
    ASSERT_EQ(sink_.boxes.size(), 1u);
    EXPECT_EQ(sink_.boxes[0].text, PortSession::PortErrorText(SerialPort::kErrorNotFound));

    PtyPeer replacement;
    ASSERT_TRUE(replacement.ok());
    PointLinkAt(replacement.slave());
    session_.Ok(session_.selection());
    EXPECT_TRUE(session_.portOpen());
    EXPECT_EQ(sink_.boxes.size(), 1u);
    std::thread peer([&] {
        if (replacement.ReadByte() < 0) return;
        std::this_thread::sleep_for(kUnitLatency);
        replacement.Write({ACK});
    });
    EXPECT_EQ(exchange_.AnsweredCommand(0xB6), CommandExchange::kAccepted);
    peer.join();
}

// The same line opened again, by the same port object or by a later run of
// the program, with every parity: the line keeps the settings of the last
// opening, and the second configuration must not be refused.
class ReopenTest : public PortFailureTest, public ::testing::WithParamInterface<int> {};

TEST_P(ReopenTest, SameLineOpensAgainWithTheSameSettings) {
    PortSettings chosen = session_.selection();
    chosen.parity = GetParam();
    for (int round = 0; round < 3; ++round) {
        session_.Ok(chosen);
        ASSERT_TRUE(session_.portOpen()) << "round " << round << ": " << sink_.boxes.back().text;
    }
    TermiosPort laterRun;
    session_.port().Close();
    ASSERT_EQ(laterRun.OpenDevice("COM1"), SerialPort::kOk);
    EXPECT_EQ(laterRun.Configure(session_.line()), SerialPort::kOk);
    EXPECT_TRUE(sink_.boxes.empty());
}

// Named after the parity selection: "Non", "Even", "Odd".
std::string ParityName(const ::testing::TestParamInfo<int>& info) {
    constexpr const char* kNames[] = {"NoParity", "EvenParity", "OddParity"};
    return kNames[info.param];
}

INSTANTIATE_TEST_SUITE_P(Parities, ReopenTest, ::testing::Values(0, 1, 2), ParityName);

// ---- A port held by another program ---------------------------------------

// Another process opens the device and locks it; it lets go when told to.
test::HoldingChild OtherProgram(const std::string& device) {
    return test::HoldingChild([&device] {
        const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        return fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;
    });
}

TEST_F(PortFailureTest, PortHeldByAnotherProgramGivesCode5AndTheProgramRunsOn) {
    test::HoldingChild other = OtherProgram(unit_.slave());
    ASSERT_TRUE(other.holding());

    session_.FormCreate();
    EXPECT_FALSE(session_.portOpen());
    ASSERT_EQ(sink_.boxes.size(), 1u);
    EXPECT_EQ(sink_.boxes[0].caption, kPortErrorCaption);
    EXPECT_EQ(sink_.boxes[0].text, PortSession::PortErrorText(SerialPort::kErrorInUse));
    EXPECT_FALSE(fs::exists(settings_));  // stored only once the device opens

    // Exchanges fail at once rather than wait.
    uint8_t result = 0;
    const Cost cost = Measure([&] { result = exchange_.AnsweredCommand(0xB6); });
    EXPECT_EQ(result, CommandExchange::kNoAnswer);
    EXPECT_LT(cost.wallMs, 100);

    // The other program lets go: OK opens the port.
    other.Release();
    session_.Ok(session_.selection());
    EXPECT_TRUE(session_.portOpen());
    EXPECT_EQ(sink_.boxes.size(), 1u);
}

// ---- Devices that are no serial line ---------------------------------------

struct NotALine {
    const char* name;
    std::function<std::string(const fs::path& dir)> make;  // returns the device path
};
void PrintTo(const NotALine& c, std::ostream* os) {
    *os << c.name;
}

class NotALineTest : public PortFailureTest, public ::testing::WithParamInterface<NotALine> {};

TEST_P(NotALineTest, OpensButRefusesTheLineWith57AndClosesAgain) {
    PointLinkAt(GetParam().make(dir_.path()));
    session_.FormCreate();
    EXPECT_FALSE(session_.portOpen());
    EXPECT_FALSE(port_.IsOpen());
    ASSERT_EQ(sink_.boxes.size(), 1u);
    EXPECT_EQ(sink_.boxes[0].caption, kPortErrorCaption);
    EXPECT_EQ(sink_.boxes[0].text, PortSession::PortErrorText(SerialPort::kErrorBadConfig));
    EXPECT_EQ(exchange_.AnsweredCommand(0xB6), CommandExchange::kNoAnswer);

    // A real line afterwards opens normally.
    PointLinkAt(unit_.slave());
    session_.Ok(session_.selection());
    EXPECT_TRUE(session_.portOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Devices, NotALineTest,
    ::testing::Values(NotALine{"RegularFile",
                               [](const fs::path& dir) {
                                   const fs::path file = dir / "plain-file";
                                   std::ofstream(file) << "not a tty";
                                   return file.string();
                               }},
                      NotALine{"DevNull", [](const fs::path&) { return std::string("/dev/null"); }},
                      NotALine{"Fifo",
                               [](const fs::path& dir) {
                                   const fs::path fifo = dir / "fifo";
                                   mkfifo(fifo.c_str(), 0600);
                                   return fifo.string();
                               }}),
    zul::test::FieldName());

}  // namespace
}  // namespace zul
