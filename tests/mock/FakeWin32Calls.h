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
// makes arrive. It records every call by name, in order ("PurgeComm(RX)" with
// the queues it names), and plays what the driver does:
// - Bytes received wait in the input queue until read or purged (PurgeComm).
// - A line error a byte brings (CE_FRAME, CE_RXPARITY, ...) stays pending
//   until ClearCommError reports and clears it (ClearCommError).
// - While an error is pending and the port's state has fAbortOnError, every
//   request but ClearCommError fails with ERROR_OPERATION_ABORTED: the serial
//   driver cancels it (Windows-driver-samples serial/serial/utils.c,
//   SerialCompleteIfError, STATUS_CANCELLED; DCB, fAbortOnError).
// - SetCommState refuses a state whose XonChar equals its XoffChar
//   (SetCommState).
// - A write that runs out of its time-out succeeds with fewer bytes written
//   (WriteFile, COMMTIMEOUTS); here after acceptBytes bytes.
// - A read returns what the queue holds, up to the count asked for; nothing
//   arrives while it waits, so that is what the real one returns when its
//   time-outs run out (COMMTIMEOUTS).
class FakeWin32Calls final : public Win32Calls {
public:
    DWORD openError = ERROR_SUCCESS;    // CreateFileA fails with it when set
    DWORD stateError = ERROR_SUCCESS;   // GetCommState fails with it when set
    DWORD configError = ERROR_SUCCESS;  // SetCommState fails with it when set
    DWORD purgeError = ERROR_SUCCESS;   // PurgeComm fails with it when set
    DWORD acceptBytes = MAXDWORD;
    DCB port{};  // the port's state: what GetCommState reports, SetCommState sets

    // The unit's answer to every command written: its bytes reach the input
    // queue before WriteFile returns to the caller, as when the calling thread
    // loses the processor after the write (the unit answers within a byte
    // time or two).
    std::vector<uint8_t> answer;
    DWORD answerErrors = 0;  // the line errors the answer brings

    DWORD share = MAXDWORD;  // the share mode of the last open
    COMMTIMEOUTS timeouts{};
    std::vector<std::string> calls;
    int openHandles = 0;

    FakeWin32Calls() {
        port.DCBlength = sizeof(DCB);
        port.XonChar = 0x11;
        port.XoffChar = 0x13;
    }

    // Bytes arriving on the line, with the line errors they bring.
    void Arrive(const std::vector<uint8_t>& bytes, DWORD errors = 0) {
        received_.insert(received_.end(), bytes.begin(), bytes.end());
        errors_ |= errors;
    }
    // The same, right after the next ClearCommError has returned (noise that
    // comes between a clear and a purge).
    void ArriveAfterNextClear(const std::vector<uint8_t>& bytes, DWORD errors) {
        late_ = bytes;
        lateErrors_ = errors;
    }
    size_t Queued() const { return received_.size(); }

    HANDLE CreateFileA(LPCSTR, DWORD, DWORD shareMode, LPSECURITY_ATTRIBUTES, DWORD, DWORD,
                       HANDLE) override {
        calls.push_back("CreateFileA");
        share = shareMode;
        if (openError != ERROR_SUCCESS) return Fail(openError, INVALID_HANDLE_VALUE);
        ++openHandles;
        return reinterpret_cast<HANDLE>(0x1234);
    }
    BOOL CloseHandle(HANDLE) override {
        calls.push_back("CloseHandle");
        return --openHandles, TRUE;
    }
    BOOL GetCommState(HANDLE, LPDCB dcb) override {
        if (!Accepted("GetCommState")) return FALSE;
        if (stateError != ERROR_SUCCESS) return Fail(stateError, FALSE);
        return *dcb = port, TRUE;
    }
    BOOL SetCommState(HANDLE, LPDCB dcb) override {
        if (!Accepted("SetCommState")) return FALSE;
        if (configError != ERROR_SUCCESS) return Fail(configError, FALSE);
        if (dcb->XonChar == dcb->XoffChar) return Fail(ERROR_INVALID_PARAMETER, FALSE);
        return port = *dcb, TRUE;
    }
    BOOL SetCommTimeouts(HANDLE, LPCOMMTIMEOUTS record) override {
        if (!Accepted("SetCommTimeouts")) return FALSE;
        return timeouts = *record, TRUE;
    }
    BOOL PurgeComm(HANDLE, DWORD flags) override {
        const std::string queues = flags == PURGE_RXCLEAR   ? "RX"
                                   : flags == PURGE_TXCLEAR ? "TX"
                                                            : "TX|RX";
        if (!Accepted("PurgeComm(" + queues + ")")) return FALSE;
        if (purgeError != ERROR_SUCCESS) return Fail(purgeError, FALSE);
        if (flags & PURGE_RXCLEAR) received_.clear();
        return TRUE;
    }
    BOOL ClearCommError(HANDLE, LPDWORD errors, LPCOMSTAT status) override {
        calls.push_back("ClearCommError");
        *errors = errors_;
        errors_ = 0;
        if (status != nullptr) status->cbInQue = static_cast<DWORD>(received_.size());
        Arrive(late_, lateErrors_);
        late_.clear();
        lateErrors_ = 0;
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
        if (!Accepted("ReadFile")) return FALSE;
        auto* out = static_cast<uint8_t*>(bytes);
        while (*read < count && !received_.empty()) {
            out[(*read)++] = received_.front();
            received_.pop_front();
        }
        return TRUE;
    }
    DWORD GetLastError() override { return lastError_; }

private:
    // Records the call; false (and the driver's error) when a pending error
    // cancels it.
    bool Accepted(const std::string& call) {
        calls.push_back(call);
        return !(port.fAbortOnError && errors_ != 0) || Fail(ERROR_OPERATION_ABORTED, false);
    }
    template <typename T>
    T Fail(DWORD error, T result) {
        lastError_ = error;
        return result;
    }

    std::deque<uint8_t> received_;
    DWORD errors_ = 0;
    std::vector<uint8_t> late_;
    DWORD lateErrors_ = 0;
    DWORD lastError_ = ERROR_SUCCESS;
};

}  // namespace zul::test
