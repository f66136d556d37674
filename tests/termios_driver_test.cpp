// The termios port against a model of real drivers (mock/FakeDriver.h):
// what a pseudo-terminal cannot show.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <cstdint>
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

// The receive queue is emptied before the command goes out and after its
// answer was read, never between the two: an answer that came before the
// read began is the answer.
TEST_F(TermiosDriverTest, TheAnswerIsNeverPurgedBetweenCommandAndRead) {
    driver_.unit = [](uint8_t, int) { return std::vector<Answer>{{{0x06}, 1 * kMs}}; };
    ASSERT_NO_FATAL_FAILURE(OpenConfigured());
    EXPECT_EQ(exchange_.AnsweredCommand(0xB6), CommandExchange::kAccepted);
    EXPECT_EQ(driver_.commands, Bytes{0xB6});
    const auto write = std::find(driver_.log.begin(), driver_.log.end(), "write B6");
    ASSERT_NE(write, driver_.log.end());
    EXPECT_EQ(*std::prev(write), "purge in");
    EXPECT_EQ(std::find(write, driver_.log.end(), "purge in"), driver_.log.end() - 1)
        << "the only receive purge after the write is the one after the read";
}

// Answers padded by two bytes (or a unit that garbles a length): the tail
// is still in the FIFO or the adapter when the answer has been read, out of
// reach of the purge. It never becomes the next command's answer, on a UART
// and on a USB adapter with and without low latency.
TEST_F(TermiosDriverTest, SurplusBytesNeverBecomeTheNextAnswer) {
    driver_.unit = [](uint8_t, int) { return std::vector<Answer>{{{0x06, 0x15, 0x15}, 2 * kMs}}; };
    for (const unsigned major : {FakeDriver::kUartMajor, FakeDriver::kUsbMajor}) {
        for (const bool refuseLowLatency : {false, true}) {
            SCOPED_TRACE(testing::Message()
                         << "major " << major << " low latency refused " << refuseLowLatency);
            driver_.devices["/dev/ttyUSB0"].major = major;
            driver_.devices["/dev/ttyUSB0"].noSerialInfo = refuseLowLatency;
            driver_.serialFlags = 0;
            ASSERT_NO_FATAL_FAILURE(OpenConfigured());
            for (int i = 0; i < 20; ++i) {
                ASSERT_EQ(exchange_.AnsweredCommand(0xB0), CommandExchange::kAccepted) << i;
            }
            std::array<uint8_t, 4> block{};
            EXPECT_EQ(port_.WritePort(Bytes{0x05}) ? port_.ReadPort(block) : 99u, 3u)
                << "three bytes in reply to four asked";
            port_.Close();
        }
    }
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
    ASSERT_NO_FATAL_FAILURE(OpenConfigured());
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
    ASSERT_NO_FATAL_FAILURE(OpenConfigured());
    EXPECT_FALSE(exchange_.BlockRequest(12, 0x05));
    EXPECT_EQ(driver_.commands.size(), 4u);
    EXPECT_LT(driver_.now, 4 * 2120 * kMs);
}

// A wedged driver keeps the byte queued: the write fails after its bound
// (the byte's time plus the read constant) and is not retried. A wedged
// adapter reports the byte handed on and never sends it: only the read
// time-outs can tell, and the exchange ends after its four attempts.
TEST_F(TermiosDriverTest, AWedgedDriverOrAdapterEndsTheExchangeInTime) {
    driver_.wedgedDriver = true;
    ASSERT_NO_FATAL_FAILURE(OpenConfigured());
    EXPECT_EQ(exchange_.AnsweredCommand(0xB6), CommandExchange::kNoAnswer);
    EXPECT_GE(driver_.now, 2000 * kMs);
    EXPECT_LE(driver_.now, 2003 * kMs);
    EXPECT_EQ(std::count(driver_.log.begin(), driver_.log.end(), "write B6"), 1);
    EXPECT_EQ(driver_.log.back(), "purge out");

    driver_.wedgedDriver = false;
    driver_.wedgedAdapter = true;
    const int64_t start = driver_.now;
    EXPECT_EQ(exchange_.AnsweredCommand(0xB6), CommandExchange::kNoAnswer);
    EXPECT_EQ(std::count(driver_.log.begin(), driver_.log.end(), "write B6"), 1 + 4);
    EXPECT_LE(driver_.now - start, 4 * 2100 * kMs);
}

// Only a UART node is missing when its driver reports no UART (type 0):
// every USB adapter answers type 0 and is present. Low latency is asked for
// and given back as the port closes.
TEST_F(TermiosDriverTest, PortTypeCountsOnlyOnUartNodes) {
    driver_.devices["/dev/ttyS1"] = {
        .major = FakeDriver::kUartMajor, .minor = 65, .portType = PORT_UNKNOWN};
    driver_.devices["/dev/ttyMFD0"] = {.major = 204, .portType = PORT_UNKNOWN, .uartDriver = true};
    driver_.links["/sys/dev/char/204:0/device/driver"] = "../../../bus/platform/drivers/serial8250";
    driver_.devices["/dev/ttyACM0"] = {.major = FakeDriver::kAcmMajor};
    for (const char* phantom : {"/dev/ttyS1", "/dev/ttyMFD0"}) {
        setenv("ZUL10_COM1", phantom, 1);
        EXPECT_EQ(port_.OpenDevice("COM1"), SerialPort::kErrorNotFound) << phantom;
        EXPECT_FALSE(driver_.deviceOpen());
    }
    driver_.devices["/dev/ttyS1"].portType = PORT_16550A;
    for (const char* present : {"/dev/ttyUSB0", "/dev/ttyACM0", "/dev/ttyS1"}) {
        setenv("ZUL10_COM1", present, 1);
        driver_.serialFlags = ASYNC_SPD_HI;  // left by another program
        ASSERT_NO_FATAL_FAILURE(OpenConfigured());
        EXPECT_NE(driver_.serialFlags & ASYNC_LOW_LATENCY, 0u) << present;
        port_.Close();
        EXPECT_EQ(driver_.serialFlags, static_cast<unsigned long>(ASYNC_SPD_HI)) << present;
    }
}

// A hang-up in the middle of an exchange (the adapter unplugged while the
// unit answers, or while the command drains): the device is closed at
// once, so the exchange ends without a retry on the dead line, and the
// claim is given back: the flock and our lock file go with it, and the
// replugged adapter opens again.
class HangUpTest : public TermiosDriverTest {
protected:
    void ExpectClosedAndUnlocked() {
        EXPECT_FALSE(port_.IsOpen());
        EXPECT_FALSE(driver_.deviceOpen());
        EXPECT_FALSE(driver_.flockHeld);
        EXPECT_EQ(driver_.files.count("/run/lock/LCK..ttyUSB0"), 0u);
        EXPECT_EQ(driver_.commands.size(), 1u) << "a command was sent after the hang-up";
        // Plugged in again: OK in the port dialog opens it.
        driver_.hangUpAt = INT64_MAX;
        EXPECT_EQ(port_.OpenDevice("COM1"), SerialPort::kOk);
        EXPECT_TRUE(driver_.flockHeld);
    }
};

TEST_F(HangUpTest, InARead) {
    driver_.unit = [](uint8_t, int) { return std::vector<Answer>{{Bytes(8, 0x55)}}; };
    ASSERT_NO_FATAL_FAILURE(OpenConfigured());
    ASSERT_TRUE(driver_.flockHeld);
    ASSERT_EQ(driver_.files.count("/run/lock/LCK..ttyUSB0"), 1u);
    // Three bytes have left the unit when the line goes.
    driver_.hangUpAt = driver_.now + driver_.byteTimeNs + 2 * kMs + 3 * driver_.byteTimeNs;
    EXPECT_FALSE(exchange_.BlockRequest(8, 0x05));
    EXPECT_LT(driver_.now, driver_.hangUpAt + 20 * kMs) << "the read waited past the hang-up";
    ExpectClosedAndUnlocked();
}

TEST_F(HangUpTest, InAWrite) {
    ASSERT_NO_FATAL_FAILURE(OpenConfigured());
    // The driver holds the command while it drains, and the line goes.
    driver_.wedgedDriver = true;
    driver_.hangUpAt = driver_.now + 5 * kMs;
    EXPECT_FALSE(exchange_.AcknowledgedCommand(0xB6));
    EXPECT_LT(driver_.now, driver_.hangUpAt + 5 * kMs) << "the drain waited past the hang-up";
    driver_.commands = {0xB6};  // the wedged driver never let it reach the unit
    driver_.wedgedDriver = false;
    ExpectClosedAndUnlocked();
}

TEST_F(HangUpTest, BeforeAWrite) {
    ASSERT_NO_FATAL_FAILURE(OpenConfigured());
    driver_.HangUp();
    EXPECT_FALSE(exchange_.AcknowledgedCommand(0xB6));
    driver_.commands = {0xB6};
    ExpectClosedAndUnlocked();
}

}  // namespace
}  // namespace zul
