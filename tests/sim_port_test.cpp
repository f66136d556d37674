#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "serial/Commands.h"
#include "sim/SimPort.h"

namespace zul::sim {
namespace {

class SimPortTest : public ::testing::Test {
protected:
    SimUnit unit;
    ManualClock clock;
    SimPort port{unit, clock};
    const std::array<uint8_t, 1> erase{cmd::kEepromErase};
};

TEST_F(SimPortTest, OpenRecordsTheNameAndCanBeMadeToFail) {
    port.FailOpenWith(SerialPort::kErrorInUse);
    EXPECT_EQ(port.OpenDevice("COM3"), SerialPort::kErrorInUse);
    EXPECT_EQ(port.portName(), "COM3");
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.WritePort(erase));
    port.FailOpenWith(SerialPort::kOk);
    EXPECT_EQ(port.OpenDevice("COM4"), SerialPort::kOk);
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(port.portName(), "COM4");
}

TEST_F(SimPortTest, ConfigureRecordsTheLineAndRestoresTheDefaultTimeOut) {
    EXPECT_NE(port.Configure(LineSettings{}), SerialPort::kOk);  // not open
    ASSERT_EQ(port.OpenDevice("COM1"), SerialPort::kOk);
    port.SetReadTimeout(10000);
    const LineSettings line{.portName = "COM1", .baudRate = 19200, .parity = kOddParity};
    EXPECT_EQ(port.Configure(line), SerialPort::kOk);
    EXPECT_EQ(port.line(), line);
    EXPECT_EQ(port.ReadTimeout(), kDefaultReadTimeoutMs);
}

TEST_F(SimPortTest, SurplusIsDiscardedAndAnUnreadAnswerIsLost) {
    ASSERT_EQ(port.OpenDevice("COM1"), SerialPort::kOk);
    const std::array<uint8_t, 1> white{cmd::kWhiteResult};
    ASSERT_TRUE(port.WritePort(white));
    std::array<uint8_t, 4> four{};
    EXPECT_EQ(port.ReadPort(four), 4u);
    std::array<uint8_t, 1> one{};
    EXPECT_EQ(port.ReadPort(one), 0u);  // the rest of the block is gone
    EXPECT_EQ(clock.NowMs(), 2010u);

    ASSERT_TRUE(port.WritePort(erase));
    const std::array<uint8_t, 1> bogus{0x42};  // unanswered; replaces the ACK
    ASSERT_TRUE(port.WritePort(bogus));
    EXPECT_EQ(port.ReadPort(one), 0u);
    EXPECT_EQ(port.writes(), 3u);
    EXPECT_EQ(port.reads(), 3u);
}

TEST_F(SimPortTest, ShortAnswerDeliversWhatCameAndWaitsTheWholeDeadline) {
    unit.profile().faults[cmd::kWhiteResult] = {Fault{.kind = Fault::Kind::Short, .bytes = 3}};
    ASSERT_EQ(port.OpenDevice("COM1"), SerialPort::kOk);
    const std::array<uint8_t, 1> white{cmd::kWhiteResult};
    ASSERT_TRUE(port.WritePort(white));
    std::array<uint8_t, 31> block{};
    EXPECT_EQ(port.ReadPort(block), 3u);
    EXPECT_EQ(block[0], unit.profile().whiteResult[0]);
    EXPECT_EQ(clock.NowMs(), 2310u);
}

TEST_F(SimPortTest, ClosedPortReadsNothingAndDropsThePendingAnswer) {
    ASSERT_EQ(port.OpenDevice("COM1"), SerialPort::kOk);
    ASSERT_TRUE(port.WritePort(erase));
    port.Close();
    std::array<uint8_t, 1> one{};
    EXPECT_EQ(port.ReadPort(one), 0u);
    EXPECT_EQ(clock.NowMs(), 0u);
}

}  // namespace
}  // namespace zul::sim
