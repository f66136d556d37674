// The Win32 port over a real line under Wine: COM1 is the simulator tool on
// a pseudo-terminal, a healthy unit that never answers 0xB0
// (scripts/test-windows.sh sets it up).
//
// The line runs without parity: Wine over a pseudo-terminal refuses a second
// configuration with parity (the terminal drops the parity bits and the C
// library then fails the request), which a real port never does.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>

#include "mock/Environment.h"
#include "serial/CommandExchange.h"
#include "serial/Commands.h"
#include "serial/PlatformPort.h"

namespace zul {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// How late Wine's read time-out may come back. Measured here: never early,
// 0.1 to 0.5 ms late for 30 to 310 ms and 2 ms late for 2010 ms; the margin
// is for a loaded machine.
constexpr milliseconds kLate{50};

const LineSettings kLine{"COM1", 9600, kNoParity, 8, kOneStopBit};

class Win32PortTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(port_.OpenDevice("COM1"), SerialPort::kOk) << "is the simulator on COM1?";
        ASSERT_EQ(port_.Configure(kLine), SerialPort::kOk);
    }

    PlatformPort port_;
    std::array<uint8_t, 31> reply_{};
    CommandExchange exchange_{port_, reply_};
};

TEST_F(Win32PortTest, UnitAnswersCommandsAndBlocks) {
    EXPECT_EQ(exchange_.AnsweredCommand(cmd::kEepromErase), CommandExchange::kAccepted);
    EXPECT_EQ(reply_[0], 0x06);
    ASSERT_TRUE(exchange_.AcknowledgedCommand(cmd::kOpenLever));
    EXPECT_TRUE(exchange_.BlockRequest(12, cmd::kEnq));  // the lever block, paper in
}

TEST_F(Win32PortTest, SilentUnitTimesOutOnTimeAndTheLineStaysGood) {
    exchange_.SetReadTimeout(300);
    const uint8_t command = cmd::kEepromWrite;
    ASSERT_TRUE(port_.WritePort({&command, 1}));
    uint8_t answer = 0;
    const auto start = Clock::now();
    EXPECT_EQ(port_.ReadPort({&answer, 1}), 0u);
    const auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
    EXPECT_GE(took, milliseconds{310});
    EXPECT_LE(took, milliseconds{310} + kLate);

    const auto retried = Clock::now();
    EXPECT_EQ(exchange_.AnsweredCommand(cmd::kEepromWrite), CommandExchange::kNoAnswer);
    EXPECT_GE(Clock::now() - retried, 4 * milliseconds{310});  // four attempts
    exchange_.SetReadTimeout(kDefaultReadTimeoutMs);
    EXPECT_EQ(exchange_.AnsweredCommand(cmd::kEepromErase), CommandExchange::kAccepted);
}

TEST(Win32PortMissingTest, MissingPortGivesCode2AndWritesFailAtOnce) {
    // Wine names COM1 to COM256 (the test pins them all); none beyond.
    test::SetEnvironment("ZUL10_COM2", "\\\\.\\COM300");
    PlatformPort port;
    EXPECT_EQ(port.OpenDevice("COM2"), SerialPort::kErrorNotFound);
    test::UnsetEnvironment("ZUL10_COM2");
    const uint8_t command = cmd::kEepromErase;
    EXPECT_FALSE(port.WritePort({&command, 1}));
}

}  // namespace
}  // namespace zul
