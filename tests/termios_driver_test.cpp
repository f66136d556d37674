// The termios port against a model of real drivers (mock/FakeDriver.h):
// what a pseudo-terminal cannot show.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "mock/FakeDriver.h"
#include "serial/CommandExchange.h"
#include "serial/TermiosPort.h"

namespace zul {
namespace {

using test::FakeDriver;
using Answer = FakeDriver::Answer;
using Bytes = std::vector<uint8_t>;
constexpr int64_t kMs = FakeDriver::kMs;

class TermiosDriverTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("ZUL10_COM1", "/dev/ttyUSB0", 1); }
    void TearDown() override { unsetenv("ZUL10_COM1"); }

    void OpenConfigured() {
        ASSERT_EQ(port_.OpenDevice("COM1"), SerialPort::kOk);
        ASSERT_EQ(port_.Configure(LineSettings{.portName = "COM1"}), SerialPort::kOk);
    }

    FakeDriver driver_;
    TermiosPort port_{driver_};
    std::array<uint8_t, 31> reply_{};
    CommandExchange exchange_{port_, reply_};
};

// A USB adapter reports its queue empty 8 ms after the command left; the
// unit has answered by then. The answer is kept: the receive queue is
// emptied before the command goes out, never between it and the read.
TEST_F(TermiosDriverTest, AnAnswerBeforeTheDrainEndsIsKept) {
    driver_.reportLagNs = 8 * kMs;
    driver_.unit = [](uint8_t, int) { return std::vector<Answer>{{{0x06}, 1 * kMs}}; };
    OpenConfigured();
    EXPECT_EQ(exchange_.AnsweredCommand(0xB6), CommandExchange::kAccepted);
    EXPECT_EQ(driver_.commands, Bytes{0xB6});
    const auto write = std::find(driver_.log.begin(), driver_.log.end(), "write B6");
    ASSERT_NE(write, driver_.log.end());
    EXPECT_EQ(std::find(write, driver_.log.end(), "purge in"), driver_.log.end() - 1)
        << "the only receive purge after the write is the one after the read";
    EXPECT_LT(driver_.now, 20 * kMs);
}

// The first block starts 6 ms before its deadline and is still arriving
// when the retry would go out. The retry waits for a quiet line, and the
// second, good block is the one delivered.
TEST_F(TermiosDriverTest, ABlockAcrossItsDeadlineIsNotTakenForTheRetrysAnswer) {
    const Bytes late(12, 0xEE);
    const Bytes good{1, 192, 192, 0, 0, 0, 0, 0, 0, 0, 0, 9};
    driver_.unit = [&](uint8_t, int index) {
        const int64_t deadline = (2000 + 12 * 10) * kMs;
        return index == 0 ? std::vector<Answer>{{late, deadline - 6 * kMs}}
                          : std::vector<Answer>{{good, 2 * kMs}};
    };
    OpenConfigured();
    ASSERT_TRUE(exchange_.BlockRequest(12, 0x05));
    EXPECT_EQ(Bytes(reply_.begin(), reply_.begin() + 12), good);
    EXPECT_EQ(driver_.commands.size(), 2u);
}

// A line that only ever carries garbage (framing errors, as at a wrong baud
// rate) still gets its four attempts, each with a bounded wait for quiet,
// and then fails instead of waiting for a quiet that never comes.
TEST_F(TermiosDriverTest, ALineThatNeverGoesQuietStillFailsInTime) {
    Bytes garbage;
    for (int i = 0; i < 2000; ++i) garbage.insert(garbage.end(), {0xFF, 0x00, 0x55});
    driver_.unit = [&](uint8_t, int) { return std::vector<Answer>{{garbage, 2 * kMs}}; };
    OpenConfigured();
    EXPECT_FALSE(exchange_.BlockRequest(12, 0x05));
    EXPECT_EQ(driver_.commands.size(), 4u);
    EXPECT_LT(driver_.now, 4 * 2120 * kMs);
}

// A wedged adapter takes the byte and never sends it: the write fails after
// its bound (the byte's time plus the read constant), it is not retried, and
// the window is not blocked for good.
TEST_F(TermiosDriverTest, AWedgedAdapterFailsTheExchangeWithinItsBound) {
    driver_.wedged = true;
    OpenConfigured();
    EXPECT_EQ(exchange_.AnsweredCommand(0xB6), CommandExchange::kNoAnswer);
    EXPECT_GE(driver_.now, 2000 * kMs);
    EXPECT_LE(driver_.now, 2003 * kMs);
    EXPECT_EQ(std::count(driver_.log.begin(), driver_.log.end(), "write B6"), 1);
    EXPECT_EQ(driver_.log.back(), "purge out");
}

TEST_F(TermiosDriverTest, PortTypesPhantomMissingOthersPresentAndLowLatencyAsked) {
    driver_.devices["/dev/ttyUSB0"].portType = PORT_UNKNOWN;  // an 8250 node without a UART
    EXPECT_EQ(port_.OpenDevice("COM1"), SerialPort::kErrorNotFound);
    EXPECT_FALSE(driver_.deviceOpen());

    driver_.devices["/dev/ttyUSB0"].portType = -1;  // a driver that does not say
    EXPECT_EQ(port_.OpenDevice("COM1"), SerialPort::kOk);
    port_.Close();

    driver_.devices["/dev/ttyUSB0"].portType = PORT_16550A;
    OpenConfigured();
    EXPECT_NE(driver_.serialFlags & ASYNC_LOW_LATENCY, 0u);
}

TEST_F(TermiosDriverTest, APortHeldByAnotherProgramIsInUse) {
    driver_.links["/dev/serial/by-id/usb-adapter"] = "/dev/ttyUSB0";
    driver_.holders[777] = {"/dev/null", "/dev/serial/by-id/usb-adapter"};  // a cat on it
    EXPECT_EQ(port_.OpenDevice("COM1"), SerialPort::kErrorInUse);
    EXPECT_FALSE(driver_.deviceOpen());
    driver_.holders.clear();

    driver_.living.insert(778);
    driver_.files["/var/lock/LCK..ttyUSB0"] = "       778\n";  // a terminal program's lock
    EXPECT_EQ(port_.OpenDevice("COM1"), SerialPort::kErrorInUse);
    EXPECT_FALSE(driver_.deviceOpen());
}

TEST_F(TermiosDriverTest, AStaleLockGoesAndOursIsHeldWhileOpen) {
    setenv("ZUL10_COM1", "/dev/serial/by-id/usb-adapter", 1);
    driver_.links["/dev/serial/by-id/usb-adapter"] = "/dev/ttyUSB0";
    driver_.files["/run/lock/LCK..ttyUSB0"] = "       999\n";  // its process is gone
    EXPECT_EQ(port_.OpenDevice("COM1"), SerialPort::kOk);
    EXPECT_EQ(driver_.files["/run/lock/LCK..ttyUSB0"], "      4242\n");
    // Reopening the same port is not held up by our own lock.
    EXPECT_EQ(port_.OpenDevice("COM1"), SerialPort::kOk);
    port_.Close();
    EXPECT_EQ(driver_.files.count("/run/lock/LCK..ttyUSB0"), 0u);
}

}  // namespace
}  // namespace zul
