// The Win32 serial device through a fake of the system calls: what Wine
// cannot play (a port another program holds, a refused configuration, a write
// that runs out of time) and what only a real driver would take from us (the
// port state).
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "mock/RecordingMessageSink.h"
#include "mock/TemporaryDirectory.h"
#include "serial/Line.h"
#include "serial/PortSession.h"
#include "serial/Win32Device.h"

namespace zul {
namespace {

// A COM port driver without a line: it records what it is given; a write
// gets at most acceptBytes out and then succeeds with fewer bytes written, as
// a write time-out does; nothing ever arrives.
class FakeWin32Calls final : public Win32Calls {
public:
    DWORD openError = ERROR_SUCCESS;    // CreateFileA fails with it when set
    DWORD configError = ERROR_SUCCESS;  // SetCommState fails with it when set
    DWORD acceptBytes = MAXDWORD;
    DWORD share = MAXDWORD;  // the share mode of the last open
    DCB reported{};          // what GetCommState reports
    DCB applied{};           // what SetCommState was given last
    COMMTIMEOUTS timeouts{};
    std::vector<DWORD> purges;
    int openHandles = 0;

    HANDLE CreateFileA(LPCSTR, DWORD, DWORD shareMode, LPSECURITY_ATTRIBUTES, DWORD, DWORD,
                       HANDLE) override {
        share = shareMode;
        if (openError != ERROR_SUCCESS) return Fail(openError, INVALID_HANDLE_VALUE);
        ++openHandles;
        return reinterpret_cast<HANDLE>(0x1234);
    }
    BOOL CloseHandle(HANDLE) override { return --openHandles, TRUE; }
    BOOL GetCommState(HANDLE, LPDCB dcb) override { return *dcb = reported, TRUE; }
    BOOL SetCommState(HANDLE, LPDCB dcb) override {
        if (configError != ERROR_SUCCESS) return Fail(configError, FALSE);
        return applied = *dcb, TRUE;
    }
    BOOL SetCommTimeouts(HANDLE, LPCOMMTIMEOUTS record) override {
        return timeouts = *record, TRUE;
    }
    BOOL PurgeComm(HANDLE, DWORD flags) override { return purges.push_back(flags), TRUE; }
    BOOL ClearCommError(HANDLE, LPDWORD errors, LPCOMSTAT) override { return *errors = 0, TRUE; }
    BOOL WriteFile(HANDLE, LPCVOID, DWORD count, LPDWORD written, LPOVERLAPPED) override {
        return *written = std::min(count, acceptBytes), TRUE;
    }
    BOOL ReadFile(HANDLE, LPVOID, DWORD, LPDWORD read, LPOVERLAPPED) override {
        return *read = 0, TRUE;
    }
    DWORD GetLastError() override { return lastError_; }

private:
    template <typename T>
    T Fail(DWORD error, T result) {
        lastError_ = error;
        return result;
    }
    DWORD lastError_ = ERROR_SUCCESS;
};

class Win32DeviceTest : public ::testing::Test {
protected:
    FakeWin32Calls calls_;
    Line line_{std::make_unique<Win32Device>(calls_)};
    const uint8_t command_ = 0xB6;
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

TEST_F(Win32DeviceTest, ConfigureSetsTheLineAndKeepsWhatThePortReported) {
    calls_.reported.XonLim = 2048;
    calls_.reported.fOutX = TRUE;
    calls_.reported.fOutxCtsFlow = TRUE;
    calls_.reported.fDtrControl = DTR_CONTROL_HANDSHAKE;
    ASSERT_EQ(line_.OpenDevice("COM1"), SerialPort::kOk);
    ASSERT_EQ(line_.Configure(LineSettings{"COM1", 19200, kOddParity, 8, kTwoStopBits}),
              SerialPort::kOk);

    const DCB& dcb = calls_.applied;
    EXPECT_EQ(dcb.BaudRate, 19200u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, ODDPARITY);
    EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
    EXPECT_TRUE(dcb.fBinary && dcb.fParity && dcb.fAbortOnError);
    EXPECT_FALSE(dcb.fOutxCtsFlow || dcb.fOutxDsrFlow || dcb.fOutX || dcb.fInX);
    EXPECT_FALSE(dcb.fErrorChar || dcb.fNull);
    EXPECT_EQ(dcb.fDtrControl, DTR_CONTROL_ENABLE);
    EXPECT_EQ(dcb.fRtsControl, RTS_CONTROL_ENABLE);
    EXPECT_EQ(dcb.XonLim, 2048);
    EXPECT_EQ(calls_.purges, std::vector<DWORD>{PURGE_TXCLEAR | PURGE_RXCLEAR});
    EXPECT_EQ(calls_.timeouts.ReadTotalTimeoutMultiplier, 10u);
    EXPECT_EQ(calls_.timeouts.ReadTotalTimeoutConstant, 2000u);

    calls_.configError = ERROR_INVALID_PARAMETER;  // refused: its code, and closed
    EXPECT_EQ(line_.Configure(LineSettings{"COM1"}), 0x57u);
    EXPECT_EQ(calls_.openHandles, 0);
}

TEST_F(Win32DeviceTest, WriteRunsUnderItsBoundAndFailsWhenItRunsOut) {
    ASSERT_EQ(line_.OpenDevice("COM1"), SerialPort::kOk);
    ASSERT_EQ(line_.Configure(LineSettings{"COM1"}), SerialPort::kOk);
    ASSERT_TRUE(line_.WritePort({&command_, 1}));
    EXPECT_EQ(calls_.timeouts.WriteTotalTimeoutConstant, line_.WriteBoundMs(1));

    calls_.acceptBytes = 0;  // the line takes nothing before the time-out
    calls_.purges.clear();
    EXPECT_FALSE(line_.WritePort({&command_, 1}));
    EXPECT_EQ(calls_.purges, (std::vector<DWORD>{PURGE_RXCLEAR, PURGE_TXCLEAR}));
}

}  // namespace
}  // namespace zul
