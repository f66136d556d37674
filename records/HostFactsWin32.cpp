#include <windows.h>

// After windows.h (UNLEN).
#include <lmcons.h>

#include <array>

#include "records/HostFactsCommon.h"
#include "serial/Utf8.h"

namespace zul {

// Both names through the wide calls: a user or computer named outside the
// ANSI code page (a Japanese name on a Western PC) would come as "?" through
// the narrow ones.
std::string HostName() {
    std::array<wchar_t, MAX_COMPUTERNAME_LENGTH + 1> name{};
    DWORD size = static_cast<DWORD>(name.size());
    if (!GetComputerNameW(name.data(), &size) || size == 0) return "unknown";
    return Utf8(std::wstring_view(name.data(), size));
}

std::string UserName() {
    std::array<wchar_t, UNLEN + 1> name{};
    DWORD size = static_cast<DWORD>(name.size());
    if (GetUserNameW(name.data(), &size) && name[0] != L'\0') return Utf8(name.data());
    return EnvironmentUtf8("USERNAME").value_or("unknown");
}

int ProcessId() {
    return static_cast<int>(GetCurrentProcessId());
}

LocalStamp LocalTimeOf(std::chrono::system_clock::time_point moment) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(moment);
    std::tm local{};
    localtime_s(&local, &seconds);
    // The local time read as if it were UTC, less the moment: the offset.
    std::tm copy = local;
    const long offset = static_cast<long>(_mkgmtime(&copy) - seconds);
    return detail::StampOf(local, detail::MillisecondsOf(moment), offset);
}

}  // namespace zul
