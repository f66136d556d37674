#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "serial/Win32Calls.h"

namespace zul::test {

// A COM port driver behind the Win32 calls, with a line whose bytes the test
// makes arrive. It records every call by name, in order ("PurgeComm(RX)"),
// and plays what the driver does:
// - Received bytes wait in the input queue until read or purged (PurgeComm).
// - A line error a byte brings stays pending until ClearCommError reports and
//   clears it (ClearCommError).
// - While an error is pending and the port's state has fAbortOnError, every
//   request but ClearCommError fails with ERROR_OPERATION_ABORTED
//   (Windows-driver-samples serial/serial/utils.c, SerialCompleteIfError
//   completes it STATUS_CANCELLED; DCB, fAbortOnError).
// - SetCommState refuses equal XonChar and XoffChar (SetCommState).
// - A write or read whose time-out runs out succeeds with the bytes moved so
//   far (serial/serial/write.c and read.c complete it STATUS_TIMEOUT, a
//   success status). A write takes acceptBytes bytes; a read what the queue
//   holds, up to the count asked for, since nothing arrives while it waits.
// - A device that is unplugged (RemoveAtRead): from then on every request on
//   the handle but CloseHandle fails with the error its driver gives; which
//   one differs from driver to driver (the errors the Win32 device takes for
//   a removal, serial/Win32Device.h). Only a new CreateFileA after the
//   handle was closed reaches the replugged device ("Processing a Request to
//   Remove a Device": an application closes the handles still open to a
//   removed device).
class FakeWin32Calls final : public Win32Calls {
public:
    // CreateFileA, GetCommState, SetCommState and PurgeComm fail with these
    // when set.
    DWORD openError = ERROR_SUCCESS, stateError = ERROR_SUCCESS;
    DWORD configError = ERROR_SUCCESS, purgeError = ERROR_SUCCESS;
    DWORD acceptBytes = MAXDWORD;
    DCB port = DefaultState();  // the port's state
    // The unit's answer to every command, with the line errors it brings. It
    // is in the queue when WriteFile returns: the caller may lose the
    // processor for longer than the unit takes to answer.
    std::vector<uint8_t> answer;
    DWORD answerErrors = 0;

    DWORD share = MAXDWORD;  // the share mode of the last open
    COMMTIMEOUTS timeouts{};
    std::vector<std::string> calls;
    int openHandles = 0;
    // ReadFile calls made while every read time-out was zero (a read
    // without any bound).
    int unboundedReads = 0;

    // The device is unplugged during the read-th ReadFile from now on
    // (1: the next), which fails with error, as every later call on the
    // handle does; the bytes it would have read are lost.
    void RemoveAtRead(int read, DWORD error) {
        removeAtRead_ = read;
        removeError_ = error;
    }

    // Bytes arriving on the line now, with the line errors they bring.
    void Arrive(const std::vector<uint8_t>& bytes, DWORD errors = 0) {
        received_.insert(received_.end(), bytes.begin(), bytes.end());
        errors_ |= errors;
    }
    // The same once the next ClearCommError has returned (noise between a
    // clear and a purge).
    void ArriveAfterNextClear(const std::vector<uint8_t>& bytes, DWORD errors) {
        late_ = bytes;
        lateErrors_ = errors;
    }

    HANDLE CreateFileA(LPCSTR, DWORD, DWORD shareMode, LPSECURITY_ATTRIBUTES, DWORD, DWORD,
                       HANDLE) override {
        calls.push_back("CreateFileA");
        share = shareMode;
        if (openError != ERROR_SUCCESS) return Fail(openError, INVALID_HANDLE_VALUE);
        if (openHandles == 0) removed_ = false;  // the replugged device
        return ++openHandles, reinterpret_cast<HANDLE>(0x1234);
    }
    BOOL CloseHandle(HANDLE) override {
        return calls.push_back("CloseHandle"), --openHandles, TRUE;
    }
    BOOL GetCommState(HANDLE, LPDCB dcb) override {
        if (!Accepted("GetCommState", stateError)) return FALSE;
        return *dcb = port, TRUE;
    }
    BOOL SetCommState(HANDLE, LPDCB dcb) override {
        const bool same = dcb->XonChar == dcb->XoffChar;
        if (!Accepted("SetCommState", same ? ERROR_INVALID_PARAMETER : configError)) return FALSE;
        return port = *dcb, TRUE;
    }
    BOOL SetCommTimeouts(HANDLE, LPCOMMTIMEOUTS record) override {
        return Accepted("SetCommTimeouts") && (timeouts = *record, true);
    }
    BOOL PurgeComm(HANDLE, DWORD flags) override {
        const char* queues = flags == PURGE_RXCLEAR   ? "RX"
                             : flags == PURGE_TXCLEAR ? "TX"
                                                      : "TX|RX";
        if (!Accepted(std::string("PurgeComm(") + queues + ")", purgeError)) return FALSE;
        if (flags & PURGE_RXCLEAR) received_.clear();
        return TRUE;
    }
    BOOL ClearCommError(HANDLE, LPDWORD errors, LPCOMSTAT) override {
        calls.push_back("ClearCommError");
        *errors = 0;
        if (removed_) return Fail(removeError_, FALSE);
        *errors = std::exchange(errors_, 0);
        Arrive(std::exchange(late_, {}), std::exchange(lateErrors_, 0));
        return TRUE;
    }
    BOOL WriteFile(HANDLE, LPCVOID, DWORD count, LPDWORD written, LPOVERLAPPED) override {
        *written = 0;
        if (!Accepted("WriteFile")) return FALSE;
        *written = std::min(count, acceptBytes);
        if (*written > 0) Arrive(answer, answerErrors);
        return TRUE;
    }
    BOOL ReadFile(HANDLE, LPVOID bytes, DWORD count, LPDWORD read, LPOVERLAPPED) override {
        *read = 0;
        if (timeouts.ReadIntervalTimeout == 0 && timeouts.ReadTotalTimeoutMultiplier == 0 &&
            timeouts.ReadTotalTimeoutConstant == 0) {
            ++unboundedReads;
        }
        if (removeAtRead_ > 0 && --removeAtRead_ == 0) {
            removed_ = true;
            received_.clear();
        }
        if (!Accepted("ReadFile")) return FALSE;
        for (; *read < count && !received_.empty(); received_.pop_front()) {
            static_cast<uint8_t*>(bytes)[(*read)++] = received_.front();
        }
        return TRUE;
    }
    DWORD GetLastError() override { return lastError_; }

    // A port's state with nothing set but what SetCommState requires.
    static DCB DefaultState() {
        DCB dcb{};
        dcb.DCBlength = sizeof(DCB);
        dcb.XonChar = 0x11;
        dcb.XoffChar = 0x13;
        return dcb;
    }

private:
    // Records the call; false with the error when a pending error cancels it
    // or error is set.
    bool Accepted(const std::string& call, DWORD error = ERROR_SUCCESS) {
        calls.push_back(call);
        if (port.fAbortOnError && errors_ != 0) error = ERROR_OPERATION_ABORTED;
        if (removed_) error = removeError_;
        return error == ERROR_SUCCESS || Fail(error, false);
    }
    template <typename T>
    T Fail(DWORD error, T result) {
        lastError_ = error;
        return result;
    }

    std::deque<uint8_t> received_;
    std::vector<uint8_t> late_;
    DWORD errors_ = 0, lateErrors_ = 0;
    DWORD lastError_ = ERROR_SUCCESS;
    int removeAtRead_ = 0;
    bool removed_ = false;
    DWORD removeError_ = ERROR_SUCCESS;
};

}  // namespace zul::test
