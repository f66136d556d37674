#pragma once

#include <string>
#include <string_view>

#include "records/Figures.h"
#include "records/RecordReader.h"

namespace zul::records {

// The summary for a terminal: runs per day with the yield, yield by unit,
// the stations, failures by item and cause, communication errors apart,
// the values closest to their limits and the slowest runs. Every line is
// made safe for a terminal (records/TextSafety.h). figures must be
// finished (Figures::Finish); folder names the source (a folder, or a
// database's URI when tally.files is -1).
std::string SummaryText(const Figures& figures, const RecordReader::Tally& tally,
                        std::string_view folder);

// How many values the summary lists, closest to their limits first.
inline constexpr std::size_t kSummaryValues = 10;

}  // namespace zul::records
