#include <gtest/gtest.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "mock/CaseNames.h"
#include "mock/PtyPeer.h"
#include "serial/TermiosPort.h"

namespace zul {
namespace {

using Bytes = std::vector<uint8_t>;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

constexpr uint16_t kShortConstantMs = 50;

int64_t ElapsedMs(steady_clock::time_point start) {
    return std::chrono::duration_cast<milliseconds>(steady_clock::now() - start).count();
}

// A pseudo-terminal whose slave is the device of COM1; the test plays the
// unit on the master side.
class TermiosPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(unit_.ok());
        setenv("ZUL10_COM1", unit_.slave().c_str(), 1);
    }
    void TearDown() override {
        if (peer_.joinable()) peer_.join();
        port_.Close();
        unit_.HangUp();
        unsetenv("ZUL10_COM1");
        unsetenv("ZUL10_COM2");
        unsetenv("ZUL10_COM3");
    }

    void OpenConfigured(uint8_t parity = kEvenParity) {
        LineSettings line;
        line.portName = "COM1";
        line.parity = parity;
        ASSERT_EQ(port_.OpenDevice("COM1"), SerialPort::kOk);
        ASSERT_EQ(port_.Configure(line), SerialPort::kOk);
        port_.SetReadTimeout(kShortConstantMs);
    }

    void PeerWrite(const Bytes& bytes) {
        ASSERT_EQ(unit_.Write(bytes), static_cast<ssize_t>(bytes.size()));
    }
    // The unit answers after delayMs, while the read is under way.
    void PeerWriteLater(int delayMs, Bytes bytes) {
        peer_ = std::thread([this, delayMs, bytes] {
            std::this_thread::sleep_for(milliseconds(delayMs));
            unit_.Write(bytes);
        });
    }
    // What arrived at the unit within timeoutMs.
    Bytes PeerRead(size_t count, int timeoutMs = 1000) { return unit_.Read(count, timeoutMs); }
    Bytes Read(size_t count, uint32_t* n = nullptr) {
        Bytes buffer(count, 0xEE);
        const uint32_t got = port_.ReadPort(buffer);
        if (n != nullptr) *n = got;
        buffer.resize(got);
        return buffer;
    }

    test::PtyPeer unit_;
    std::thread peer_;
    TermiosPort port_;
};

TEST_F(TermiosPortTest, OpenAndConfigureSetsTheDefaultConstant) {
    ASSERT_EQ(port_.OpenDevice("COM1"), SerialPort::kOk);
    EXPECT_TRUE(port_.IsOpen());
    port_.SetReadTimeout(10000);
    LineSettings line;
    line.portName = "COM1";
    EXPECT_EQ(port_.Configure(line), SerialPort::kOk);
    EXPECT_EQ(port_.ReadTimeout(), kDefaultReadTimeoutMs);
    port_.SetReadTimeout(5000);
    EXPECT_EQ(port_.ReadTimeout(), 5000);
}

TEST_F(TermiosPortTest, ReadReturnsAsSoonAsTheBytesArrive) {
    ASSERT_NO_FATAL_FAILURE(OpenConfigured());
    port_.SetReadTimeout(kDefaultReadTimeoutMs);
    PeerWriteLater(20, {0x06, 0x10, 0x20});
    const auto start = steady_clock::now();
    EXPECT_EQ(Read(3), (Bytes{0x06, 0x10, 0x20}));
    EXPECT_LT(ElapsedMs(start), 1500);
}

TEST_F(TermiosPortTest, SilentPeerTimesOutNoEarlierThanTheDeadline) {
    ASSERT_NO_FATAL_FAILURE(OpenConfigured());
    for (size_t count : {1u, 5u}) {
        const auto start = steady_clock::now();
        uint32_t n = 99;
        Read(count, &n);
        const int64_t elapsed = ElapsedMs(start);
        EXPECT_EQ(n, 0u);
        EXPECT_GE(elapsed, static_cast<int64_t>(10 * count + kShortConstantMs));
        EXPECT_LT(elapsed, 10 * static_cast<int64_t>(count) + kShortConstantMs + 1500);
    }
}

TEST_F(TermiosPortTest, PartialReplyReturnsItsCountAtTheDeadline) {
    ASSERT_NO_FATAL_FAILURE(OpenConfigured());
    PeerWriteLater(10, {0x41, 0x42});
    const auto start = steady_clock::now();
    EXPECT_EQ(Read(5), (Bytes{0x41, 0x42}));
    EXPECT_GE(ElapsedMs(start), 10 * 5 + kShortConstantMs);
}

TEST_F(TermiosPortTest, BytesSentBeforeTheCommandAreNotReturned) {
    ASSERT_NO_FATAL_FAILURE(OpenConfigured());
    ASSERT_NO_FATAL_FAILURE(PeerWrite({0x01, 0x02, 0x03}));
    std::this_thread::sleep_for(milliseconds(50));  // they are in the receive queue
    ASSERT_TRUE(port_.WritePort(Bytes{0x05}));
    PeerWriteLater(20, {0x06, 0x07});
    EXPECT_EQ(Read(2), (Bytes{0x06, 0x07}));
}

TEST_F(TermiosPortTest, SurplusBytesDoNotReachTheNextRead) {
    ASSERT_NO_FATAL_FAILURE(OpenConfigured());
    PeerWriteLater(10, {0x11, 0x12, 0x13, 0x14, 0x15});
    EXPECT_EQ(Read(2), (Bytes{0x11, 0x12}));
    peer_.join();
    EXPECT_EQ(Read(3), Bytes{});
}

TEST_F(TermiosPortTest, LineErrorsAreMarkedWithAndWithoutParity) {
    // Framing errors and breaks must fail a read at no parity too.
    for (uint8_t parity : {kNoParity, kEvenParity, kOddParity}) {
        ASSERT_NO_FATAL_FAILURE(OpenConfigured(parity));
        termios tio{};
        ASSERT_EQ(tcgetattr(unit_.fd(), &tio), 0);
        EXPECT_EQ(tio.c_iflag & (INPCK | PARMRK | IGNPAR | ISTRIP | IGNBRK),
                  static_cast<tcflag_t>(INPCK | PARMRK))
            << int(parity);
        port_.Close();
    }
}

TEST_F(TermiosPortTest, MarkedFFsArriveAsSingleBytesWithParityOn) {
    // With parity on, the line discipline doubles each received 0xFF.
    for (uint8_t parity : {kEvenParity, kOddParity, kNoParity}) {
        ASSERT_NO_FATAL_FAILURE(OpenConfigured(parity));
        PeerWriteLater(10, {0xFF, 0x00, 0xFF, 0xFF, 0x7F});
        EXPECT_EQ(Read(5), (Bytes{0xFF, 0x00, 0xFF, 0xFF, 0x7F})) << int(parity);
        peer_.join();
        port_.Close();
    }
}

TEST_F(TermiosPortTest, WriteDeliversEveryByteUnchanged) {
    ASSERT_NO_FATAL_FAILURE(OpenConfigured());
    const Bytes command{0xB6, 0x0A, 0x0D, 0xFF, 0x00, 0x11, 0x13};
    EXPECT_TRUE(port_.WritePort(command));
    EXPECT_EQ(PeerRead(command.size()), command);

    Bytes block(255);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i);
    EXPECT_TRUE(port_.WritePort(block));
    EXPECT_EQ(PeerRead(block.size()), block);
}

// Nothing the peer has not yet taken may be purged: commands written one
// after the other all arrive.
TEST_F(TermiosPortTest, BackToBackWritesAllArrive) {
    ASSERT_NO_FATAL_FAILURE(OpenConfigured());
    for (int round = 0; round < 20; ++round) {
        ASSERT_TRUE(port_.WritePort(Bytes{0xB6}));
        ASSERT_TRUE(port_.WritePort(Bytes{0xB4, 0x01}));
        ASSERT_TRUE(port_.WritePort(Bytes{0x90}));
        ASSERT_EQ(PeerRead(4), (Bytes{0xB6, 0xB4, 0x01, 0x90})) << "round " << round;
    }
}

TEST_F(TermiosPortTest, WriteToAHungUpPeerFails) {
    ASSERT_NO_FATAL_FAILURE(OpenConfigured());
    unit_.HangUp();
    EXPECT_FALSE(port_.WritePort(Bytes{0xB6}));
}

TEST_F(TermiosPortTest, MissingDeviceGivesCode2) {
    setenv("ZUL10_COM2", "/nonexistent/zul10-port", 1);
    EXPECT_EQ(port_.OpenDevice("COM2"), SerialPort::kErrorNotFound);
    EXPECT_FALSE(port_.IsOpen());
    EXPECT_EQ(port_.OpenDevice("COM9"), SerialPort::kErrorNotFound);
    EXPECT_EQ(port_.OpenDevice(""), SerialPort::kErrorNotFound);
    EXPECT_FALSE(port_.IsOpen());
}

TEST_F(TermiosPortTest, SecondOpenOfAnOpenPortGivesCode5UntilItCloses) {
    ASSERT_NO_FATAL_FAILURE(OpenConfigured());
    TermiosPort second;
    EXPECT_EQ(second.OpenDevice("COM1"), SerialPort::kErrorInUse);
    EXPECT_FALSE(second.IsOpen());
    port_.Close();
    EXPECT_EQ(second.OpenDevice("COM1"), SerialPort::kOk);
    EXPECT_TRUE(second.IsOpen());
}

TEST_F(TermiosPortTest, AfterAFailedOpenWritesAndReadsFailAtOnce) {
    ASSERT_NO_FATAL_FAILURE(OpenConfigured());
    setenv("ZUL10_COM2", "/nonexistent/zul10-port", 1);
    ASSERT_EQ(port_.OpenDevice("COM2"), SerialPort::kErrorNotFound);  // closes COM1 first
    const Bytes command{0xB6};
    Bytes buffer(31);
    const auto start = steady_clock::now();
    for (int i = 0; i < 4; ++i) {
        EXPECT_FALSE(port_.WritePort(command));
        EXPECT_EQ(port_.ReadPort(buffer), 0u);
    }
    EXPECT_LT(ElapsedMs(start), kShortConstantMs);
    // COM1 was released: another port object can take it.
    TermiosPort other;
    EXPECT_EQ(other.OpenDevice("COM1"), SerialPort::kOk);
}

TEST_F(TermiosPortTest, PeerHangingUpMidReadFailsPromptly) {
    ASSERT_NO_FATAL_FAILURE(OpenConfigured());
    port_.SetReadTimeout(kDefaultReadTimeoutMs);
    peer_ = std::thread([this] {
        std::this_thread::sleep_for(milliseconds(30));
        unit_.HangUp();
    });
    const auto start = steady_clock::now();
    uint32_t n = 99;
    Read(4, &n);
    EXPECT_EQ(n, 0u);
    EXPECT_LT(ElapsedMs(start), 1500);
    // Later reads fail as promptly, and so do writes.
    const auto again = steady_clock::now();
    Read(4, &n);
    EXPECT_EQ(n, 0u);
    EXPECT_LT(ElapsedMs(again), 1500);
}

TEST_F(TermiosPortTest, DeviceThatIsNoTtyFailsConfigureWith57AndCloses) {
    char path[] = "/tmp/zul10-notatty-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    setenv("ZUL10_COM3", path, 1);
    ASSERT_EQ(port_.OpenDevice("COM3"), SerialPort::kOk);
    EXPECT_EQ(port_.Configure(LineSettings{"COM3"}), SerialPort::kErrorBadConfig);
    EXPECT_FALSE(port_.IsOpen());
    EXPECT_EQ(port_.OpenDevice("COM3"), SerialPort::kOk);  // nothing left holding it
    port_.Close();
    unlink(path);
}

struct BadLine {
    const char* name;
    LineSettings line;
};
void PrintTo(const BadLine& c, std::ostream* os) {
    *os << c.name;
}

class TermiosPortBadLineTest : public TermiosPortTest,
                               public ::testing::WithParamInterface<BadLine> {};

TEST_P(TermiosPortBadLineTest, RefusedWith57ThenTheSamePortReopens) {
    ASSERT_EQ(port_.OpenDevice("COM1"), SerialPort::kOk);
    EXPECT_EQ(port_.Configure(GetParam().line), SerialPort::kErrorBadConfig);
    EXPECT_FALSE(port_.IsOpen());
    EXPECT_FALSE(port_.WritePort(Bytes{0x01}));
    ASSERT_EQ(port_.OpenDevice("COM1"), SerialPort::kOk);
    EXPECT_EQ(port_.Configure(LineSettings{"COM1"}), SerialPort::kOk);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, TermiosPortBadLineTest,
    ::testing::Values(BadLine{"Baud4800", {"COM1", 4800, kEvenParity, 8, kOneStopBit}},
                      BadLine{"Baud0", {"COM1", 0, kEvenParity, 8, kOneStopBit}},
                      BadLine{"MarkParity", {"COM1", 9600, 3, 8, kOneStopBit}},
                      BadLine{"OneAndAHalfStopBits", {"COM1", 9600, kEvenParity, 8, 1}},
                      BadLine{"SevenDataBits", {"COM1", 9600, kEvenParity, 7, kOneStopBit}}),
    zul::test::FieldName());

TEST_F(TermiosPortTest, EveryListedBaudRateIsAccepted) {
    for (int32_t baud : {1200, 2400, 9600, 19200, 38400}) {
        ASSERT_EQ(port_.OpenDevice("COM1"), SerialPort::kOk);
        EXPECT_EQ(port_.Configure(LineSettings{"COM1", baud, kNoParity, 8, kTwoStopBits}),
                  SerialPort::kOk)
            << baud;
    }
}

TEST(TermiosPortErrors, ErrnoMapsToTheOperatorsCodes) {
    EXPECT_EQ(TermiosDevice::ErrorCodeForErrno(ENOENT), 2u);
    EXPECT_EQ(TermiosDevice::ErrorCodeForErrno(ENODEV), 2u);
    EXPECT_EQ(TermiosDevice::ErrorCodeForErrno(ENXIO), 2u);
    EXPECT_EQ(TermiosDevice::ErrorCodeForErrno(EBUSY), 5u);
    EXPECT_EQ(TermiosDevice::ErrorCodeForErrno(EACCES), 5u);
    EXPECT_EQ(TermiosDevice::ErrorCodeForErrno(EPERM), 5u);
    EXPECT_EQ(TermiosDevice::ErrorCodeForErrno(EWOULDBLOCK), 5u);
    EXPECT_EQ(TermiosDevice::ErrorCodeForErrno(EINVAL), 0x57u);
    EXPECT_EQ(TermiosDevice::ErrorCodeForErrno(ENOTTY), 0x57u);
    EXPECT_EQ(TermiosDevice::ErrorCodeForErrno(EIO), static_cast<uint32_t>(EIO));
}

}  // namespace
}  // namespace zul
