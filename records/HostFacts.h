#pragma once

#include <chrono>
#include <string>

namespace zul {

// What a record says about where and when it was made. Each platform has
// its own file (POSIX, Win32).

// The computer's name; "unknown" when the system does not tell.
std::string HostName();
// The name of the user the program runs as; "unknown" when not told.
std::string UserName();
int ProcessId();

// A moment in local time: ISO 8601 to the millisecond with the UTC offset
// ("2026-12-08T14:03:27.512+09:00"), and its date ("2026-12-08").
struct LocalStamp {
    std::string iso;
    std::string date;
};
LocalStamp LocalTimeOf(std::chrono::system_clock::time_point moment);

}  // namespace zul
