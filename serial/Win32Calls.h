#pragma once

#include <windows.h>

namespace zul {

// The Win32 calls the serial device makes, one method for each, with the
// system's own signatures. The device goes through System(); tests put a
// fake behind it to play what a driver does (a port held elsewhere, a
// refused configuration, a write that times out).
class Win32Calls {
public:
    virtual ~Win32Calls() = default;

    virtual HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share,
                               LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                               HANDLE templateFile) = 0;
    virtual BOOL CloseHandle(HANDLE handle) = 0;
    virtual BOOL GetCommState(HANDLE handle, LPDCB dcb) = 0;
    virtual BOOL SetCommState(HANDLE handle, LPDCB dcb) = 0;
    virtual BOOL SetCommTimeouts(HANDLE handle, LPCOMMTIMEOUTS timeouts) = 0;
    virtual BOOL PurgeComm(HANDLE handle, DWORD flags) = 0;
    virtual BOOL ClearCommError(HANDLE handle, LPDWORD errors, LPCOMSTAT status) = 0;
    virtual BOOL WriteFile(HANDLE handle, LPCVOID bytes, DWORD count, LPDWORD written,
                           LPOVERLAPPED overlapped) = 0;
    virtual BOOL ReadFile(HANDLE handle, LPVOID bytes, DWORD count, LPDWORD read,
                          LPOVERLAPPED overlapped) = 0;
    virtual DWORD GetLastError() = 0;

    // The calls of the system itself.
    static Win32Calls& System();
};

}  // namespace zul
