#include <windows.h>

#include <array>
#include <cstdlib>

#include "records/HostFactsCommon.h"

namespace zul {

std::string HostName() {
    std::array<char, MAX_COMPUTERNAME_LENGTH + 1> name{};
    DWORD size = static_cast<DWORD>(name.size());
    if (!GetComputerNameA(name.data(), &size) || size == 0) return "unknown";
    return std::string(name.data(), size);
}

std::string UserName() {
    std::array<char, 257> name{};
    DWORD size = static_cast<DWORD>(name.size());
    if (GetUserNameA(name.data(), &size) && name[0] != '\0') return name.data();
    const char* user = std::getenv("USERNAME");
    return user != nullptr && *user != '\0' ? user : "unknown";
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
