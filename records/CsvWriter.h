#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zul::records {

// Rows of a CSV file (RFC 4180), the one place where record content becomes
// CSV: cells separated by commas, rows ended by CR LF, a cell quoted when it
// holds a comma, a quote, CR or LF, with its quotes doubled. A text cell is
// first made safe (records/TextSafety.h: control characters replaced), and
// one that a spreadsheet would take for a formula (beginning with =, +, -,
// @, tab or CR) gets a leading ' so it stays text. Numbers the report
// itself formats are written as they are.
class CsvWriter {
public:
    // out: where the rows go (not owned); appended to.
    explicit CsvWriter(std::string& out) : out_(out) {}

    void Text(std::string_view text);
    void Number(int64_t n);
    // An already formatted number ("12.5", "-3"): never guarded.
    void Figure(std::string_view figure);
    void Empty();
    void EndRow();

    // The UTF-8 byte order mark, with which spreadsheets read UTF-8.
    static constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

private:
    void Separate();
    void Quoted(std::string_view text);

    std::string& out_;
    bool first_ = true;
    std::string scratch_;
};

}  // namespace zul::records
