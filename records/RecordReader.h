#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "records/RunRecord.h"

namespace zul::records {

// A span of days, both ends inclusive, as YYYY-MM-DD; empty for no bound.
struct DateRange {
    std::string from, to;
    bool bounded() const { return !from.empty() || !to.empty(); }
    bool Holds(std::string_view date) const {
        return (from.empty() || date >= from) && (to.empty() || date <= to);
    }
};

// The date a record file's name carries: "zul10-YYYY-MM-DD.jsonl" or
// "zul10-YYYY-MM-DD-<anything>.jsonl" gives YYYY-MM-DD; empty for a name
// without one.
std::string_view NameDate(std::string_view name);
// Whether text is a date as YYYY-MM-DD (digits and dashes in their places).
bool IsDate(std::string_view text);
// Whether name is a record file's name: zul10-*.jsonl.
bool IsRecordFileName(std::string_view name);
// Whether a report's source names a database (a postgresql:// or
// postgres:// URI) rather than a folder.
bool IsDatabaseUri(std::string_view source);

// Reads the record files of a folder one line at a time and hands each run
// to a sink: memory stays flat whatever the folder holds (one line at a
// time, at most 1 MiB of it, and the run ids of one day).
//
// - Files: zul10-*.jsonl in name order. With a date range, only the files
//   whose name's date lies in it are looked at at all; the runs inside are
//   kept by their own start date.
// - Only regular files are read: a link, FIFO, device or folder named like
//   a record file is named on errors and skipped, and never waited on.
// - A line that is no record (torn, another program's, a newer format, a
//   field out of range, longer than 1 MiB) is named with file and line and
//   skipped; a field the reader does not know is named once a file.
// - A run whose run id was met before on the same day is a second delivery
//   of the same record and is dropped.
// - A file that cannot be opened or read is named and sets readError; the
//   rest is still read.
// Everything named on errors is made safe for a terminal (records/
// TextSafety.h).
class RecordReader {
public:
    struct Tally {
        int files = 0;           // record files read; -1 for runs read from a database
        int skippedEntries = 0;  // not regular files
        int64_t records = 0;     // runs handed to the sink
        int64_t outOfRange = 0;  // runs dropped by their own date
        int64_t badLines = 0;    // lines that are no record, the long ones included
        int64_t longLines = 0;   // lines over 1 MiB
        int64_t duplicates = 0;  // second deliveries dropped
        bool readError = false;  // a file could not be opened or read
    };
    using Sink = std::function<void(const RunRecord&)>;

    // errors: where problems are named (not owned).
    explicit RecordReader(std::ostream& errors);
    ~RecordReader();

    // Reads folder's record files within range into sink. False, after
    // naming it, when the folder cannot be listed.
    bool ReadFolder(const std::string& folder, const DateRange& range, const Sink& sink);

    const Tally& tally() const { return tally_; }

    // How many run ids one day may hold for the check for second
    // deliveries; runs beyond are counted without it (named once).
    static constexpr std::size_t kMaxRunIdsADay = std::size_t{1} << 20;
    // How many bad lines of one file are named; the rest are counted.
    static constexpr int kNamedBadLines = 100;

private:
    struct State;
    void ReadFile(const std::string& path, const std::string& name, const DateRange& range,
                  const Sink& sink);
    void Line(const char* data, std::size_t size, std::size_t capacity, const DateRange& range,
              const Sink& sink);
    void Name(const std::string& message);

    std::ostream& errors_;
    Tally tally_;
    std::unique_ptr<State> state_;
};

}  // namespace zul::records
