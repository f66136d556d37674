#include <pwd.h>
#include <unistd.h>

#include <array>
#include <cstdlib>

#include "records/HostFactsCommon.h"

namespace zul {

std::string HostName() {
    std::array<char, 256> name{};
    if (gethostname(name.data(), name.size() - 1) != 0 || name[0] == '\0') return "unknown";
    return name.data();
}

std::string UserName() {
    if (const passwd* entry = getpwuid(geteuid()); entry != nullptr && entry->pw_name != nullptr) {
        return entry->pw_name;
    }
    const char* user = std::getenv("USER");
    return user != nullptr && *user != '\0' ? user : "unknown";
}

int ProcessId() {
    return static_cast<int>(getpid());
}

LocalStamp LocalTimeOf(std::chrono::system_clock::time_point moment) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(moment);
    std::tm local{};
    localtime_r(&seconds, &local);
    return detail::StampOf(local, detail::MillisecondsOf(moment), local.tm_gmtoff);
}

}  // namespace zul
