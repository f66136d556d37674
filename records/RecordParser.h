#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "records/RunRecord.h"

namespace zul::records {

// Reads one line of a record file (records/RecordFormat.h) into a
// RunRecord, and checks it: the program and a format it knows (1 or 2),
// every number whole where it counts and within range (failed_item 0 to 7,
// items 1 to 7, slots 0 to 29, readings and limits 0 to 255, counts not
// negative), every word one the program writes, the start a time. A line
// that fails any check is no record, with the reason; nothing in a line can
// make it throw or abort. Records of format 1 are judged against the
// catalogue of judged values (adjust/JudgedValues.h).
//
// The parser keeps its buffers from line to line; one parser per thread.
class RecordParser {
public:
    // The bytes a line given to ParseInPlace must have readable behind it.
    static constexpr std::size_t kPadding = 64;
    // The longest line parsed; longer lines are no record.
    static constexpr std::size_t kMaxLine = 1 << 20;

    RecordParser();
    ~RecordParser();
    RecordParser(const RecordParser&) = delete;
    RecordParser& operator=(const RecordParser&) = delete;

    // Parses line (without its line end) into run. True for a record; false
    // with why() telling why the line is none ("torn or not JSON", "not a
    // ZUL10 record", "written by a newer version (format 3)", "field
    // \"retries\" out of range", ...). run is cleared first.
    bool Parse(std::string_view line, RunRecord& run);
    // The same without a copy: data[0, size) is the line, and capacity (at
    // least size + kPadding) bytes from data are readable.
    bool ParseInPlace(const char* data, std::size_t size, std::size_t capacity, RunRecord& run);

    // Why the last line was no record.
    const std::string& why() const { return why_; }
    // The names this reader does not know in the last line, as they are
    // written there: fields ("new"), item fields ("items.new"), measured
    // readings ("measured.ad2") and judged values ("values.3.xx").
    const std::vector<std::string>& unknown() const { return unknown_; }

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::string why_;
    std::vector<std::string> unknown_;
    std::string padded_;  // Parse's copy of a line
};

}  // namespace zul::records
