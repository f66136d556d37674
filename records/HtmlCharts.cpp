#include "records/HtmlCharts.h"

#include <algorithm>
#include <cmath>

#include "records/Numbers.h"

namespace zul::records::charts {

namespace {

// The opening tag of an inline chart of width x height pixels, named label.
void Start(HtmlWriter& html, double width, double height, std::string_view label) {
    html.Open("svg", {{"xmlns", "http://www.w3.org/2000/svg"},
                      {"width", width},
                      {"height", height},
                      {"role", "img"},
                      {"aria-label", label}});
    html.NewLine();
}

void Label(HtmlWriter& html, double x, double y, const char* cssClass, const char* anchor,
           std::string_view text) {
    html.Element("text", {{"x", x}, {"y", y}, {"class", cssClass}, {"text-anchor", anchor}}, text);
}

void Line(HtmlWriter& html, double x1, double y1, double x2, double y2, const char* cssClass) {
    html.Void("line", {{"x1", x1}, {"y1", y1}, {"x2", x2}, {"y2", y2}, {"class", cssClass}});
}

// "12.5,40 13,41.5 ...": a list of points for a polyline or polygon.
void AddPoint(std::string& points, double x, double y) {
    if (!points.empty()) points += ' ';
    points += Fixed(std::isfinite(x) ? x : 0.0, 1) + "," + Fixed(std::isfinite(y) ? y : 0.0, 1);
}

}  // namespace

void YieldPerDay(HtmlWriter& html, const Figures& f) {
    const int n = static_cast<int>(f.days.size());
    const double left = 56, top = 20, plotH = 200,
                 slot = n > 0 ? std::clamp(640.0 / n, 14.0, 90.0) : 40;
    const double width = left + slot * std::max(n, 1) + 20, height = top + plotH + 60;
    Start(html, width, height, "Yield per day");
    for (int p = 0; p <= 100; p += 25) {
        const double y = top + plotH * (1 - p / 100.0);
        Line(html, left, y, width - 10, y, "grid");
        Label(html, left - 6, y + 4, "axis", "end", std::to_string(p) + " %");
        html.NewLine();
    }
    // A label every so many days that no two of them (about 40 px each)
    // overlap.
    const int labelEvery = std::max(1, static_cast<int>(std::ceil(44 / slot)));
    int i = 0;
    for (const auto& [date, day] : f.days) {
        const RunCounts& c = day.counts;
        const double yield =
            c.Judged() > 0 ? static_cast<double>(c.complete) / static_cast<double>(c.Judged()) : 0;
        const double barW = std::min(slot * 0.7, 60.0), x = left + slot * i + (slot - barW) / 2;
        const double h = plotH * yield, y = top + plotH - h;
        html.Open("rect", {{"x", x}, {"y", y}, {"width", barW}, {"height", h}, {"class", "bar"}});
        html.Element("title", date + ": " + std::to_string(c.complete) + " complete, " +
                                  std::to_string(c.failed) + " failed, " +
                                  std::to_string(c.communication) + " communication errors");
        html.Close();
        html.NewLine();
        if (n <= 31 && c.Judged() > 0) {
            Label(html, x + barW / 2, y - 4, "value", "middle", Fixed(yield * 100, 0) + " %");
        }
        if (i % labelEvery == 0) {
            Label(html, x + barW / 2, top + plotH + 16, "axis", "middle",
                  std::string_view(date).substr(5));
            Label(html, x + barW / 2, top + plotH + 30, "small", "middle",
                  std::to_string(c.complete) + "/" + std::to_string(c.Judged()));
        }
        html.NewLine();
        ++i;
    }
    html.Close();
    html.NewLine();
}

void Pareto(HtmlWriter& html, const Figures& f) {
    const auto causes = f.CausesByCount();
    int64_t total = 0;
    for (const auto& [cause, count] : causes) total += count;
    const int n = static_cast<int>(causes.size());
    // Room on the left for the first cause's slanted label.
    const double left = 150, top = 20, plotH = 200, slot = 80;
    const double right = left + slot * std::max(n, 1);
    Start(html, right + 60, top + plotH + 150, "Failure causes, Pareto chart");
    for (int p = 0; p <= 100; p += 25) {
        const double y = top + plotH * (1 - p / 100.0);
        Line(html, left, y, right, y, "grid");
        Label(html, left - 6, y + 4, "axis", "end", Fixed(static_cast<double>(total) * p / 100, 0));
        Label(html, right + 6, y + 4, "axis", "start", std::to_string(p) + " %");
        html.NewLine();
    }
    std::string points;
    int64_t cumulative = 0;
    for (int i = 0; i < n; ++i) {
        const auto& [cause, count] = causes[static_cast<size_t>(i)];
        cumulative += count;
        const double barW = slot * 0.6, x = left + slot * i + (slot - barW) / 2;
        const double h =
            total > 0 ? plotH * static_cast<double>(count) / static_cast<double>(total) : 0;
        const double y = top + plotH - h;
        html.Open("rect", {{"x", x}, {"y", y}, {"width", barW}, {"height", h}, {"class", "fail"}});
        html.Element("title", cause + ": " + std::to_string(count));
        html.Close();
        html.NewLine();
        // The count inside a bar tall enough for it, so that the first point
        // of the line, at the top of the first bar, hides nothing.
        const bool inside = h >= 16;
        Label(html, x + barW / 2, inside ? y + 13 : y - 4, inside ? "inbar" : "value", "middle",
              std::to_string(count));
        const std::string label = cause.size() > 30 ? cause.substr(0, 29) + "..." : cause;
        html.Element("text",
                     {{"transform", "translate(" + Fixed(x + barW / 2, 1) + " " +
                                        Fixed(top + plotH + 14, 1) + ") rotate(-35)"},
                      {"class", "axis"},
                      {"text-anchor", "end"}},
                     label);
        const double cy = top + plotH * (1 - static_cast<double>(cumulative) /
                                                 static_cast<double>(std::max<int64_t>(total, 1)));
        AddPoint(points, x + barW / 2, cy);
        html.Void("circle", {{"cx", x + barW / 2}, {"cy", cy}, {"r", 3.5}, {"class", "cum"}});
        html.NewLine();
    }
    if (n > 0) html.Void("polyline", {{"points", points}, {"class", "cumline"}});
    html.Close();
    html.NewLine();
}

void Histogram(HtmlWriter& html, const Figures& f, std::size_t i) {
    const JudgedValue& catalogued = kJudgedValues[i];
    const ValueTally& t = f.values[i];
    const Capability& c = f.capability[i];
    // The byte values shown: the readings and the limits that can fail,
    // with a little room on both sides.
    int lo = c.min, hi = c.max;
    if (c.lowerActive) lo = std::min<int>(lo, catalogued.lower);
    if (c.upperActive) hi = std::max<int>(hi, catalogued.upper);
    const int margin = std::max(2, (hi - lo) / 10);
    lo = std::max(0, lo - margin);
    hi = std::min(255, hi + margin);
    const double left = 46, top = 12, plotW = 360, plotH = 130;
    const double width = left + plotW + 14, height = top + plotH + 34;
    Start(html, width, height, ValueKey(catalogued) + " histogram");
    uint64_t tallest = 1;
    for (int v = lo; v <= hi; ++v) tallest = std::max(tallest, t.histogram[static_cast<size_t>(v)]);
    const double binW = plotW / (hi - lo + 1);
    const auto xOf = [&](double v) { return left + (v - lo) * binW; };
    Line(html, left, top + plotH, left + plotW, top + plotH, "grid");
    Label(html, left - 6, top + 8, "axis", "end", std::to_string(tallest));
    Label(html, left - 6, top + plotH, "axis", "end", "0");
    for (int v = lo; v <= hi; ++v) {
        const uint64_t count = t.histogram[static_cast<size_t>(v)];
        if (count == 0) continue;
        const double h = plotH * static_cast<double>(count) / static_cast<double>(tallest);
        const bool out = v < catalogued.lower || v > catalogued.upper;
        html.Open("rect", {{"x", xOf(v)},
                           {"y", top + plotH - h},
                           {"width", std::max(binW - 1, 1.0)},
                           {"height", h},
                           {"class", out ? "fail" : "bar"}});
        html.Element("title", std::to_string(v) + ": " + std::to_string(count));
        html.Close();
    }
    html.NewLine();
    // The bounds are inclusive: the lower line at the left edge of its
    // bin, the upper at the right edge of its own.
    const auto limit = [&](double x, const char* name, int v) {
        Line(html, x, top - 4, x, top + plotH, "limit");
        Label(html, x, top + plotH + 26, "limittext", "middle",
              std::string(name) + " " + std::to_string(v));
    };
    if (c.lowerActive) limit(xOf(catalogued.lower), "lower", catalogued.lower);
    if (c.upperActive) limit(xOf(catalogued.upper + 1), "upper", catalogued.upper);
    Label(html, left, top + plotH + 13, "axis", "start", std::to_string(lo));
    Label(html, left + plotW, top + plotH + 13, "axis", "end", std::to_string(hi));
    html.Close();
    html.NewLine();
}

void RunChart(HtmlWriter& html, const Figures& f, std::size_t i) {
    const JudgedValue& catalogued = kJudgedValues[i];
    const Capability& c = f.capability[i];
    struct Point {
        const std::string* date;
        double mean, low, high;
    };
    std::vector<Point> points;
    double lo = c.min, hi = c.max;
    for (const auto& [date, day] : f.days) {
        const Moments& m = day.values[i];
        if (m.n == 0) continue;
        const double sd = m.Sd().value_or(0);
        points.push_back({&date, m.Mean(), m.Mean() - 3 * sd, m.Mean() + 3 * sd});
        lo = std::min(lo, points.back().low);
        hi = std::max(hi, points.back().high);
    }
    if (c.lowerActive) lo = std::min<double>(lo, catalogued.lower);
    if (c.upperActive) hi = std::max<double>(hi, catalogued.upper);
    lo = std::max(0.0, lo - 2);
    hi = std::min(255.0, hi + 2);
    if (hi <= lo) hi = lo + 1;
    const double left = 46, top = 12, plotW = 360, plotH = 130;
    Start(html, left + plotW + 60, top + plotH + 34, ValueKey(catalogued) + " run chart by day");
    const auto yOf = [&](double v) { return top + plotH * (1 - (v - lo) / (hi - lo)); };
    const size_t n = points.size();
    const auto xOf = [&](size_t k) {
        return n <= 1 ? left + plotW / 2
                      : left + plotW * static_cast<double>(k) / static_cast<double>(n - 1);
    };
    Line(html, left, top + plotH, left + plotW, top + plotH, "grid");
    Label(html, left - 6, yOf(hi) + 8, "axis", "end", Fixed(hi, 0));
    Label(html, left - 6, yOf(lo), "axis", "end", Fixed(lo, 0));
    std::string band, mean;
    for (size_t k = 0; k < n; ++k) AddPoint(band, xOf(k), yOf(points[k].high));
    for (size_t k = n; k-- > 0;) AddPoint(band, xOf(k), yOf(points[k].low));
    for (size_t k = 0; k < n; ++k) AddPoint(mean, xOf(k), yOf(points[k].mean));
    if (n > 1) html.Void("polygon", {{"points", band}, {"class", "band"}});
    const auto limit = [&](double v, const char* name) {
        Line(html, left, yOf(v), left + plotW, yOf(v), "limit");
        Label(html, left + plotW + 4, yOf(v) + 4, "limittext", "start",
              std::string(name) + " " + Fixed(v, 0));
    };
    if (c.lowerActive) limit(catalogued.lower, "lower");
    if (c.upperActive) limit(catalogued.upper, "upper");
    if (n > 1) html.Void("polyline", {{"points", mean}, {"class", "meanline"}});
    for (size_t k = 0; k < n; ++k) {
        html.Open("circle",
                  {{"cx", xOf(k)}, {"cy", yOf(points[k].mean)}, {"r", 2.5}, {"class", "mean"}});
        html.Element("title", *points[k].date + ": mean " + Fixed(points[k].mean, 1) + ", " +
                                  Fixed(points[k].low, 1) + " to " + Fixed(points[k].high, 1));
        html.Close();
    }
    html.NewLine();
    if (n > 0) {
        Label(html, left, top + plotH + 13, "axis", "start", *points.front().date);
        if (n > 1) Label(html, left + plotW, top + plotH + 13, "axis", "end", *points.back().date);
    }
    html.Close();
    html.NewLine();
}

}  // namespace zul::records::charts
