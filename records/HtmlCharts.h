#pragma once

#include "records/Figures.h"
#include "records/HtmlWriter.h"

namespace zul::records::charts {

// The charts of the page, each one inline <svg> element written through
// html. Sizes are in CSS pixels; the classes they use are in the page's
// style sheet.

// The yield of each day as bars, 0 to 100 %.
void YieldPerDay(HtmlWriter& html, const Figures& figures);
// The failure causes as a Pareto chart: bars by count, most first, and the
// cumulative share as a line.
void Pareto(HtmlWriter& html, const Figures& figures);
// The readings of catalogue value i over the byte values they took, with
// the value's limits as lines (a limit at the byte's end is none).
void Histogram(HtmlWriter& html, const Figures& figures, std::size_t i);
// The mean of catalogue value i per day, with the band of +-3 sample
// standard deviations, against its limits.
void RunChart(HtmlWriter& html, const Figures& figures, std::size_t i);

}  // namespace zul::records::charts
