#pragma once

#include <array>
#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "records/RunLog.h"

namespace zul::records {

namespace outcome = record::outcome;

// One run as the reports use it, read from one line of a record file.
struct Run {
    std::string start;  // local ISO 8601 with its offset
    std::string date;   // its first ten characters
    std::string end, host, user, version, port, device, line, outcome, cause;
    int failedItem = 0;
    double seconds = 0;
    int64_t exchanges = 0;
    int64_t retries = 0;
    std::array<std::string, 7> verdicts;  // of items 1 to 7, empty where not reached
    // Measured values in columns: "3.ad.0" -> "77".
    std::vector<std::pair<std::string, std::string>> values;
    bool complete() const { return outcome == outcome::kComplete; }
};

// Every run of a folder's record files (zul10-*.jsonl, by name), and the
// lines that are none: torn, not JSON, not a record of this program, or of
// a newer format. Each bad line is named on errors; none stops the reading.
struct Records {
    std::vector<Run> runs;
    int files = 0;
    int badLines = 0;
};

// False when the folder cannot be read (named on errors).
bool LoadFolder(const std::string& folder, Records& records, std::ostream& errors);

// One line of a record file into run; empty on success, else why it is no
// record ("not JSON", "not a ZUL10 record", "newer format 2"). unknown gets
// the names of fields this reader does not know.
std::string ParseRun(const std::string& line, Run& run, std::vector<std::string>& unknown);

// Keeps the runs whose start date lies within from and to (YYYY-MM-DD, both
// inclusive; empty for no bound).
void KeepDates(Records& records, const std::string& from, const std::string& to);

// What the reports show, counted once. The yield is complete runs over the
// runs that came to a verdict (complete or failed); a run cancelled or ended
// by the closing window says nothing about its unit and is only counted.
struct Figures {
    struct Day {
        std::string date;
        int units = 0;  // every run
        int complete = 0;
        int failed = 0;
        int Judged() const { return complete + failed; }
    };
    std::vector<Day> days;  // in date order
    int units = 0;
    int complete = 0;
    int failed = 0;
    int cancelled = 0;
    int closed = 0;
    std::array<int, 7> failedByItem{};
    std::vector<std::pair<std::string, int>> causes;  // most first
    std::vector<const Run*> slowest;                  // up to ten, slowest first
};
Figures Count(const Records& records);

// A banner without its frame: "Cannot erase EEPROM !".
std::string CauseText(const std::string& banner);

std::string SummaryText(const Records& records, const std::string& folder);
std::string CsvText(const Records& records);
std::string HtmlPage(const Records& records, const std::string& folder);

}  // namespace zul::records
