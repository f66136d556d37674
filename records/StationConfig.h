#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zul {

// What a bench is set up with beside the port: the station file that IT
// puts on the PC, and the environment variables that override it. Nothing
// here is on unless the file or a variable turns it on.
//
// The file holds "key = value" lines; a line whose first non-blank character
// is "#" is a comment, blank lines are ignored, blanks around key and value
// are dropped, and a UTF-8 byte order mark and CR line ends are taken. Keys
// and their variables (a variable that is set and not empty overrides the
// file):
//
//   station          ZUL10_STATION          the station's name in the records
//                                           (the host name when unset)
//   records          ZUL10_RECORDS          the folder the records go to
//   database         ZUL10_DATABASE         the PostgreSQL database the records
//                                           go to: a libpq connection URI,
//                                           postgresql://user@host/dbname?...
//                                           (its password in libpq's password
//                                           file, never here)
//   unit_id          ZUL10_UNIT_ID          "scan": ask for the unit's serial
//                                           number at every Start ("off", the
//                                           default, does not)
//   unit_id_pattern  ZUL10_UNIT_ID_PATTERN  a regular expression the whole
//                                           serial number must match
//   trace            ZUL10_TRACE            the line monitor's file
struct StationConfig {
    std::string station;
    std::string records;
    std::string database;
    bool scanUnitId = false;
    std::string unitIdPattern;
    std::string trace;

    // The station file read ("" when there was none) and its lines that were
    // not used, each "FILE:LINE: why".
    std::string file;
    std::vector<std::string> problems;

    // The caption of the box that names the problems.
    static constexpr const char* kCaption = "STATION FILE";
    // The box's text, for problems that are there.
    std::string ProblemText() const;
};

// The station file of this PC: ZUL10_STATION_FILE when set (another file,
// for a bench set up by hand or a test), else /etc/zul10/station.conf on
// Linux and %ProgramData%\ZUL10\station.conf on Windows.
std::string StationFilePath();

// The value of an environment variable in UTF-8 (serial/Utf8.h), or nullopt
// when it is unset or empty.
using VariableLookup = std::function<std::optional<std::string>(const char* name)>;
std::optional<std::string> EnvironmentVariable(const char* name);

// The settings of this bench: the file at path (none when missing), then the
// variables over it. A file that cannot be read is named in problems; so is
// each line that is not used (no "=", an unknown key, a bad value), and the
// rest of the file is still used.
StationConfig ReadStationConfig(const std::string& path,
                                const VariableLookup& variable = EnvironmentVariable);

// The same from the file's text (name: the file, for the problems).
StationConfig ParseStationConfig(std::string_view text, const std::string& name,
                                 const VariableLookup& variable = EnvironmentVariable);

}  // namespace zul
