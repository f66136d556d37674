#pragma once

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>

#include "records/HostFacts.h"

namespace zul::detail {

// The stamp of a broken-down local time, its milliseconds and its offset
// from UTC in seconds.
inline LocalStamp StampOf(const std::tm& local, int milliseconds, long offsetSeconds) {
    const char sign = offsetSeconds < 0 ? '-' : '+';
    const long offset = offsetSeconds < 0 ? -offsetSeconds : offsetSeconds;
    char iso[96];
    std::snprintf(iso, sizeof iso, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02ld:%02ld",
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec, milliseconds, sign, offset / 3600,
                  (offset % 3600) / 60);
    return {iso, std::string(iso, 10)};
}

inline int MillisecondsOf(std::chrono::system_clock::time_point moment) {
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(moment.time_since_epoch()).count();
    return static_cast<int>(((ms % 1000) + 1000) % 1000);
}

}  // namespace zul::detail
