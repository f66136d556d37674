#pragma once

#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "records/Figures.h"
#include "records/RecordReader.h"
#include "records/RunRecord.h"

namespace zul::test {

// A folder's runs read back as the report reads them: every run, the
// report's figures over them, the reader's tally and what it named.
struct ReadBack {
    bool ok = false;  // the folder could be listed
    std::vector<records::RunRecord> runs;
    records::Figures figures;
    records::RecordReader::Tally tally;
    std::string errors;
};

inline ReadBack ReadRecords(const std::string& folder, const records::DateRange& range = {}) {
    ReadBack r;
    std::ostringstream errors;
    records::RecordReader reader(errors);
    r.ok = reader.ReadFolder(folder, range, [&](const records::RunRecord& run) {
        r.runs.push_back(run);
        r.figures.Add(run);
    });
    r.figures.Finish();
    r.tally = reader.tally();
    r.errors = errors.str();
    return r;
}

// The reading of the catalogue value named key ("3.ad.6", "7.speed") in
// run, or -1.
inline int Reading(const records::RunRecord& run, std::string_view key) {
    for (size_t i = 0; i < records::kValueCount; ++i) {
        if (records::ValueKey(kJudgedValues[i]) == key) return run.readings[i];
    }
    return -2;  // no such value
}

}  // namespace zul::test
