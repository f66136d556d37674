// The Win32 serial device through a fake of the system calls: what Wine
// cannot play (a port another program holds, a refused configuration, a write
// that runs out of time, line errors) and what only a real driver would take
// from us (the port state).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mock/FakeWin32Calls.h"
#include "mock/RecordingMessageSink.h"
#include "mock/TemporaryDirectory.h"
#include "serial/CommandExchange.h"
#include "serial/Line.h"
#include "serial/PortSession.h"
#include "serial/Win32Device.h"

namespace zul {
namespace {

using test::FakeWin32Calls;

// The calls in calls whose names start with prefix, in order.
std::vector<std::string> CallsOf(const std::vector<std::string>& calls, std::string_view prefix) {
    std::vector<std::string> found;
    std::ranges::copy_if(calls, std::back_inserter(found),
                         [&](auto& c) { return c.starts_with(prefix); });
    return found;
}

class Win32DeviceTest : public ::testing::Test {
protected:
    FakeWin32Calls calls_;
    Line line_{std::make_unique<Win32Device>(calls_)};
    const uint8_t command_ = 0xB6;
    uint8_t reply_ = 0;

    void OpenAndConfigure() {
        ASSERT_EQ(line_.OpenDevice("COM1"), SerialPort::kOk);
        ASSERT_EQ(line_.Configure(LineSettings{"COM1"}), SerialPort::kOk);
    }
    // Writes the command and reads one byte of answer; the bytes read.
    uint32_t Exchange() {
        reply_ = 0;
        return line_.WritePort({&command_, 1}) ? line_.ReadPort({&reply_, 1}) : 0;
    }
};

TEST_F(Win32DeviceTest, PortHeldElsewhereShowsCode5AndStaysClosed) {
    test::TemporaryDirectory dir;
    test::RecordingMessageSink sink;
    calls_.openError = ERROR_ACCESS_DENIED;
    PortSession session(line_, sink, dir.File(kSettingsFileName));
    session.FormCreate();

    ASSERT_EQ(sink.boxes.size(), 1u);
    EXPECT_EQ(sink.boxes[0].caption, "RS232C PORT");
    EXPECT_EQ(sink.boxes[0].text, PortSession::PortErrorText(5));
    EXPECT_FALSE(session.portOpen());
    EXPECT_EQ(calls_.share, 0u);   // a COM port is never shared
    EXPECT_EQ(dir.Entries(), 0u);  // the settings file is written only for an opened port
    EXPECT_FALSE(line_.WritePort({&command_, 1}));
}

TEST_F(Win32DeviceTest, ConfigureSetsEveryFieldThatActsOnTheLine) {
    // What a program that used the port before may have left.
    calls_.port = DCB{};  // XonChar equal to XoffChar too
    calls_.port.fOutxCtsFlow = calls_.port.fOutxDsrFlow = calls_.port.fDsrSensitivity = TRUE;
    calls_.port.fOutX = TRUE;
    calls_.port.fDtrControl = DTR_CONTROL_HANDSHAKE;
    calls_.port.XonLim = 2048;
    ASSERT_EQ(line_.OpenDevice("COM1"), SerialPort::kOk);
    ASSERT_EQ(line_.Configure(LineSettings{"COM1", 19200, kOddParity, 8, kTwoStopBits}),
              SerialPort::kOk);
    const DCB& dcb = calls_.port;
    EXPECT_EQ(dcb.BaudRate, 19200u);
    EXPECT_TRUE(dcb.ByteSize == 8 && dcb.Parity == ODDPARITY && dcb.StopBits == TWOSTOPBITS);
    EXPECT_TRUE(dcb.fBinary && dcb.fParity && dcb.fTXContinueOnXoff);
    EXPECT_FALSE(dcb.fOutxCtsFlow || dcb.fOutxDsrFlow || dcb.fDsrSensitivity || dcb.fOutX ||
                 dcb.fInX || dcb.fAbortOnError || dcb.fErrorChar || dcb.fNull);
    EXPECT_TRUE(dcb.fDtrControl == DTR_CONTROL_ENABLE && dcb.fRtsControl == RTS_CONTROL_ENABLE);
    EXPECT_EQ(dcb.XonLim, 2048);
    EXPECT_EQ(CallsOf(calls_.calls, "PurgeComm"), std::vector<std::string>{"PurgeComm(TX|RX)"});
    EXPECT_EQ(calls_.timeouts.ReadTotalTimeoutMultiplier, 10u);
    EXPECT_EQ(calls_.timeouts.ReadTotalTimeoutConstant, 2000u);

    calls_.configError = ERROR_INVALID_PARAMETER;  // refused: its code, and closed
    EXPECT_EQ(line_.Configure(LineSettings{"COM1"}), 0x57u);
    EXPECT_EQ(calls_.openHandles, 0);
    // A state that cannot be read is not made up from zeros.
    calls_.stateError = ERROR_GEN_FAILURE;
    ASSERT_EQ(line_.OpenDevice("COM1"), SerialPort::kOk);
    calls_.calls.clear();
    EXPECT_EQ(line_.Configure(LineSettings{"COM1"}), 31u);
    EXPECT_EQ(std::ranges::count(calls_.calls, "SetCommState"), 0);
    EXPECT_EQ(calls_.openHandles, 0);
}

// The last user left abort-on-error on and a line error pending, which
// cancels every request but ClearCommError.
TEST_F(Win32DeviceTest, ErrorPendingFromTheLastUserBlocksNothing) {
    calls_.port.fAbortOnError = TRUE;
    calls_.Arrive({0xFF}, CE_FRAME);
    ASSERT_NO_FATAL_FAILURE(OpenAndConfigure());
    calls_.answer = {0x06};
    EXPECT_EQ(Exchange(), 1u);
    EXPECT_EQ(reply_, 0x06);
}

// What arrived before the command, and the line errors it brought, never
// count; the answer counts, although it was there before the write returned.
// A byte the line spoiled fails the read, and the next exchange works.
TEST_F(Win32DeviceTest, AnswerCountsFromTheWriteAndASpoiledByteFailsTheRead) {
    ASSERT_NO_FATAL_FAILURE(OpenAndConfigure());
    calls_.calls.clear();
    calls_.Arrive({0x15, 0xFF}, CE_FRAME);
    calls_.ArriveAfterNextClear({0xFE}, CE_RXPARITY);
    calls_.answer = {0x06};
    EXPECT_EQ(Exchange(), 1u);
    EXPECT_EQ(reply_, 0x06);
    const auto write = std::ranges::find(calls_.calls, "WriteFile");
    const auto read = std::ranges::find(calls_.calls, "ReadFile");
    ASSERT_LT(write, read);
    EXPECT_EQ(std::find(write, read, "PurgeComm(RX)"), read);

    for (const DWORD error : {CE_RXPARITY, CE_FRAME, CE_OVERRUN, CE_BREAK}) {
        calls_.answerErrors = error;
        EXPECT_EQ(Exchange(), 0u) << error;
    }
    calls_.answerErrors = 0;
    EXPECT_EQ(Exchange(), 1u);
}

// Bytes left in a queue the driver would not purge are never the answer.
TEST_F(Win32DeviceTest, UnpurgedBytesAreNeverTheAnswer) {
    ASSERT_NO_FATAL_FAILURE(OpenAndConfigure());
    calls_.purgeError = ERROR_GEN_FAILURE;
    calls_.Arrive({0x06});
    EXPECT_EQ(Exchange(), 0u);
    calls_.purgeError = ERROR_SUCCESS;
    calls_.answer = {0x15};
    EXPECT_EQ(Exchange(), 1u);
    EXPECT_EQ(reply_, 0x15);
}

TEST_F(Win32DeviceTest, WriteRunsUnderItsBoundAndFailsWhenItRunsOut) {
    ASSERT_NO_FATAL_FAILURE(OpenAndConfigure());
    ASSERT_TRUE(line_.WritePort({&command_, 1}));
    EXPECT_EQ(calls_.timeouts.WriteTotalTimeoutConstant, line_.WriteBoundMs(1));

    calls_.acceptBytes = 0;  // the line takes nothing before the time-out
    calls_.calls.clear();
    EXPECT_FALSE(line_.WritePort({&command_, 1}));
    EXPECT_EQ(CallsOf(calls_.calls, "PurgeComm"),
              (std::vector<std::string>{"PurgeComm(RX)", "PurgeComm(TX)"}));
}

// A USB adapter unplugged while the unit sends a block: whichever error its
// driver gives, the exchange fails at the first failed read (no retry, no
// 40 reads of a quiet wait, no read without a bound), the handle is closed
// at once, and the port dialog's OK (a new open) reaches the replugged one.
class Win32DeviceLost : public Win32DeviceTest, public ::testing::WithParamInterface<DWORD> {};

TEST_P(Win32DeviceLost, MidBlockClosesTheHandleFailsAtOnceAndReopens) {
    ASSERT_NO_FATAL_FAILURE(OpenAndConfigure());
    std::array<uint8_t, 32> reply{};
    CommandExchange link(line_, reply);
    calls_.answer = {0x01, 0x02, 0x03};  // the first bytes of an 8-byte block
    calls_.RemoveAtRead(1, GetParam());
    calls_.calls.clear();
    EXPECT_FALSE(link.BlockRequest(8, 0x05));
    EXPECT_FALSE(line_.IsOpen());
    EXPECT_EQ(calls_.openHandles, 0);
    EXPECT_EQ(CallsOf(calls_.calls, "WriteFile").size(), 1u);
    EXPECT_EQ(CallsOf(calls_.calls, "ReadFile").size(), 1u);
    EXPECT_EQ(CallsOf(calls_.calls, "CloseHandle").size(), 1u);
    EXPECT_EQ(calls_.unboundedReads, 0);
    // The next command fails without a call on the dead handle.
    calls_.calls.clear();
    EXPECT_FALSE(link.AcknowledgedCommand(0xB6));
    EXPECT_TRUE(calls_.calls.empty());

    // OK in the port dialog: the replugged adapter opens and answers.
    ASSERT_EQ(line_.OpenDevice("COM1"), SerialPort::kOk);
    ASSERT_EQ(line_.Configure(LineSettings{"COM1"}), SerialPort::kOk);
    calls_.answer = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_TRUE(link.BlockRequest(8, 0x05));
    EXPECT_EQ(reply[7], 8);
    EXPECT_EQ(calls_.unboundedReads, 0);
}

INSTANTIATE_TEST_SUITE_P(EveryDriversError, Win32DeviceLost,
                         ::testing::Values(ERROR_BAD_COMMAND, ERROR_DEVICE_REMOVED,
                                           ERROR_DEVICE_NOT_CONNECTED, ERROR_ACCESS_DENIED,
                                           ERROR_OPERATION_ABORTED, ERROR_GEN_FAILURE));

TEST_F(Win32DeviceTest, AReadErrorOfAPresentDeviceKeepsThePortOpen) {
    ASSERT_NO_FATAL_FAILURE(OpenAndConfigure());
    std::array<uint8_t, 32> reply{};
    CommandExchange link(line_, reply);
    calls_.answer = {0x06};
    calls_.RemoveAtRead(1, ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(link.AcknowledgedCommand(0xB6));
    EXPECT_TRUE(line_.IsOpen());
    EXPECT_EQ(calls_.openHandles, 1);
}

}  // namespace
}  // namespace zul
