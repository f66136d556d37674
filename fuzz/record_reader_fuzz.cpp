// Any bytes as a record file's lines: the record parser never crashes or
// throws, and every line it takes as a record holds only what it promises
// (a known format, numbers in range, readings 0-255 judged against limits);
// the figures, the CSV row and the HTML text of what it took stay safe
// (no control character in a cell, no markup out of data).

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "records/CsvReport.h"
#include "records/Figures.h"
#include "records/HtmlWriter.h"
#include "records/RecordParser.h"

namespace {

using namespace zul::records;

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "record_reader_fuzz: %s\n", what);
        std::abort();
    }
}

void CheckRecord(const RunRecord& run) {
    Check(run.format == 1 || run.format == 2, "format out of range");
    Check(run.failedItem >= 0 && run.failedItem <= 7, "failed_item out of range");
    Check(run.exchanges >= 0 && run.retries >= 0, "a negative count");
    Check(run.seconds >= 0 && run.seconds <= 366.0 * 86400, "seconds out of range");
    Check(run.start.size() >= 19 && run.date().size() == 10, "no start time");
    for (size_t i = 0; i < kValueCount; ++i) {
        Check(run.readings[i] >= -1 && run.readings[i] <= 255, "reading out of range");
        Check((run.readings[i] >= 0) == (run.verdicts[i] != Verdict::None),
              "a reading without its verdict");
    }
    for (int16_t extra : run.extras) Check(extra >= -1 && extra <= 255, "extra out of range");
}

// A CSV row holds no control character but its CR LF end.
void CheckRow(const std::string& row) {
    Check(row.size() >= 2 && row.compare(row.size() - 2, 2, "\r\n") == 0, "row without CR LF");
    for (size_t i = 0; i + 2 < row.size(); ++i) {
        const auto c = static_cast<unsigned char>(row[i]);
        Check(c >= 0x20 && c != 0x7F, "a control character in a CSV row");
    }
}

void CheckHtml(const std::string& text) {
    std::string out;
    HtmlWriter::Escape(out, text);
    Check(out.find_first_of("<>\"'") == std::string::npos, "markup out of data");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static RecordParser parser;
    RunRecord run;
    Figures figures;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::string row;
    while (!bytes.empty()) {
        const size_t end = bytes.find('\n');
        const std::string_view line = bytes.substr(0, end);
        bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
        if (!parser.Parse(line, run)) {
            Check(!parser.why().empty(), "a line refused without a reason");
            continue;
        }
        CheckRecord(run);
        figures.Add(run);
        row.clear();
        csv_report::Row(run, row);
        CheckRow(row);
        for (const std::string* text : {&run.station, &run.host, &run.cause, &run.unit}) {
            CheckHtml(*text);
        }
    }
    figures.Finish();
    for (const Capability& c : figures.capability) {
        if (c.cpk) Check(*c.cpk == *c.cpk && *c.cpk < 1e300 && *c.cpk > -1e300, "Cpk not finite");
    }
    return 0;
}
