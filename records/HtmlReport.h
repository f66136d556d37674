#pragma once

#include <string>
#include <string_view>

#include "records/Figures.h"
#include "records/RecordReader.h"

namespace zul::records {

// The html command's page, self-contained: no script, no link out, charts
// as inline SVG. The yield per day, yield by unit, the stations, the
// failure causes as a Pareto chart, failures by item, then the process
// capability of every judged value, the values closest to their limits
// first, each with its histogram against the limit lines and its run chart
// by day (the day's mean and +-3 sigma against the limits), and the slowest
// runs. Written through HtmlWriter only, so everything taken from the
// records is escaped. figures must be finished (Figures::Finish).
std::string HtmlPage(const Figures& figures, const RecordReader::Tally& tally,
                     std::string_view folder);

}  // namespace zul::records
