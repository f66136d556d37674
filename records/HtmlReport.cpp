#include "records/HtmlReport.h"

#include "records/HtmlCharts.h"
#include "records/HtmlWriter.h"
#include "records/Numbers.h"

namespace zul::records {

namespace {

constexpr HtmlConstant kStyle =
    "body{font-family:Arial,Helvetica,sans-serif;margin:24px;color:#222}\n"
    "h1{font-size:22px;margin-bottom:4px}h2{font-size:17px;margin-top:28px}\n"
    "h3{font-size:14px;margin:18px 0 2px 0}\n"
    ".sub{color:#555}.note{color:#8a5a00}\n"
    "table{border-collapse:collapse;margin-top:8px}\n"
    "td,th{border:1px solid #bbb;padding:3px 10px;text-align:left}\n"
    "td.n{text-align:right}th{background:#eef1f5}tr.out td{background:#fbe9e7}\n"
    ".grid{stroke:#ddd;stroke-width:1}.axis{font-size:11px;fill:#444}\n"
    ".small{font-size:10px;fill:#777}.value{font-size:11px;fill:#222}\n"
    ".bar{fill:#3a7d44}.fail{fill:#c0504d}.cum{fill:#1f4e79}\n"
    ".inbar{font-size:11px;fill:#fff;font-weight:bold}\n"
    ".cumline{fill:none;stroke:#1f4e79;stroke-width:2}\n"
    ".limit{stroke:#c0504d;stroke-width:1.5;stroke-dasharray:5 3}\n"
    ".limittext{font-size:10px;fill:#c0504d}\n"
    ".band{fill:#1f4e79;fill-opacity:0.15;stroke:none}\n"
    ".meanline{fill:none;stroke:#1f4e79;stroke-width:1.5}.mean{fill:#1f4e79}\n"
    ".charts{display:flex;flex-wrap:wrap;gap:12px}\n";

// A table row of cells: text cells, and cells of figures aligned right.
class Row {
public:
    explicit Row(HtmlWriter& html, const char* cssClass = "") : html_(html) {
        if (*cssClass != '\0') {
            html_.Open("tr", {{"class", cssClass}});
        } else {
            html_.Open("tr");
        }
    }
    ~Row() {
        html_.Close();
        html_.NewLine();
    }
    Row& Text(std::string_view text) {
        html_.Element("td", text);
        return *this;
    }
    Row& Figure(std::string_view figure) {
        html_.Element("td", {{"class", "n"}}, figure);
        return *this;
    }
    Row& Figure(int64_t n) { return Figure(std::to_string(n)); }

private:
    HtmlWriter& html_;
};

void Heads(HtmlWriter& html, std::initializer_list<const char*> heads) {
    html.Open("table");
    html.NewLine();
    html.Open("tr");
    for (const char* head : heads) html.Element("th", head);
    html.Close();
    html.NewLine();
}

void EndTable(HtmlWriter& html) {
    html.Close();
    html.NewLine();
}

void Summary(HtmlWriter& html, const Figures& f, const RecordReader::Tally& tally,
             std::string_view folder) {
    std::string period = f.days.empty() ? std::string("no runs")
                                        : f.days.begin()->first + " to " + f.days.rbegin()->first;
    html.Element("p", {{"class", "sub"}},
                 std::string(folder) + ": " + Counted(f.all.runs, "run") + ", " + period + ", " +
                     std::to_string(f.all.complete) + " complete, " + std::to_string(f.all.failed) +
                     " failed, " + std::to_string(f.all.communication) + " communication errors, " +
                     std::to_string(f.all.Stopped()) + " stopped; yield " +
                     Percent(f.all.complete, f.all.Judged()));
    html.NewLine();
    std::string notes;
    const auto note = [&](const std::string& text) { notes += (notes.empty() ? "" : "; ") + text; };
    if (tally.badLines > 0) note(Counted(tally.badLines, "bad line") + " skipped");
    if (tally.skippedEntries > 0) {
        note(std::to_string(tally.skippedEntries) + " entries that are no regular file skipped");
    }
    if (tally.duplicates > 0)
        note(Counted(tally.duplicates, "second delivery", "second deliveries") + " dropped");
    if (tally.readError) note("some files could not be read");
    if (!notes.empty()) html.Element("p", {{"class", "note"}}, notes + " (named by the command).");
    if (f.formatOne > 0) {
        html.Element("p", {{"class", "note"}},
                     Counted(f.formatOne, "run") +
                         " of format 1: judged by the report against limits " +
                         std::string(kLimitsRevision) + ", as its records carry no limits.");
    }
    for (const auto& [revision, runs] : f.limits.names()) {
        if (revision != kLimitsRevision) {
            html.Element("p", {{"class", "note"}},
                         Counted(runs, "run") + " judged at the bench against other limits (" +
                             revision + "); the capability below is against limits " +
                             std::string(kLimitsRevision) + ".");
        }
    }
}

void Days(HtmlWriter& html, const Figures& f) {
    html.Element("h2", "Yield per day");
    html.NewLine();
    charts::YieldPerDay(html, f);
    Heads(html, {"Day", "Runs", "Complete", "Failed", "Communication errors", "Stopped", "Yield"});
    for (const auto& [date, day] : f.days) {
        const RunCounts& c = day.counts;
        Row(html)
            .Text(date)
            .Figure(c.runs)
            .Figure(c.complete)
            .Figure(c.failed)
            .Figure(c.communication)
            .Figure(c.Stopped())
            .Figure(Percent(c.complete, c.Judged()));
    }
    EndTable(html);
    html.Element("p", {{"class", "sub"}},
                 "Yield: complete of complete and failed. Communication errors (most often a "
                 "cable or a station) and stopped runs (cancelled, window closed) are counted "
                 "apart.");
}

void Units(HtmlWriter& html, const Figures& f) {
    const Figures::Units& u = f.units;
    html.Element("h2", "Yield by unit");
    html.NewLine();
    if (u.units == 0) {
        html.Element("p", "No run carries a serial number: the runs are counted as runs only.");
        return;
    }
    Heads(html, {"Figure", "Value", ""});
    Row(html)
        .Text("Units (serial numbers)")
        .Figure(u.units)
        .Text(std::to_string(u.judged) + " with a run that came to a verdict");
    Row(html)
        .Text("First-pass yield")
        .Figure(Percent(u.firstPass, u.judged))
        .Text(std::to_string(u.firstPass) + " of " + std::to_string(u.judged) +
              " units: their first run completed");
    Row(html)
        .Text("Final yield")
        .Figure(Percent(u.finalPass, u.judged))
        .Text(std::to_string(u.finalPass) + " of " + std::to_string(u.judged) +
              " units: their last run completed");
    const int64_t tracked = u.runsWithUnit - u.untracked;
    Row(html)
        .Text("Retests per unit")
        .Figure(Fixed(static_cast<double>(tracked - u.units) / static_cast<double>(u.units), 2))
        .Text("units with 1 run: " + std::to_string(u.byRuns[0]) +
              ", 2: " + std::to_string(u.byRuns[1]) + ", 3: " + std::to_string(u.byRuns[2]) +
              ", 4 or more: " + std::to_string(u.byRuns[3]));
    Row(html)
        .Text("Runs without a serial number")
        .Figure(u.runsWithoutUnit)
        .Text("counted as runs only");
    if (u.untracked > 0) {
        Row(html)
            .Text("Runs of units beyond the table")
            .Figure(u.untracked)
            .Text("counted as runs only");
    }
    EndTable(html);
    if (u.most.empty()) return;
    html.Element("h3", "Units retested most");
    Heads(html, {"Serial number", "Runs", "First run", "Last run"});
    for (const Figures::Units::Most& m : u.most) {
        const char* first = !m.judged ? "no verdict" : m.firstComplete ? "complete" : "failed";
        const char* last = !m.judged ? "no verdict" : m.lastComplete ? "complete" : "failed";
        Row(html).Text(m.serial).Figure(m.runs).Text(first).Text(last);
    }
    EndTable(html);
}

void Stations(HtmlWriter& html, const Figures& f) {
    html.Element("h2", "Stations");
    html.NewLine();
    Heads(html, {"Station", "Runs", "Units", "Complete", "Failed", "Communication errors", "Yield",
                 "First-pass yield"});
    const auto row = [&](std::string_view name, const Figures::Station& s) {
        Row(html)
            .Text(name)
            .Figure(s.counts.runs)
            .Figure(s.units)
            .Figure(s.counts.complete)
            .Figure(s.counts.failed)
            .Figure(s.counts.communication)
            .Figure(Percent(s.counts.complete, s.counts.Judged()))
            .Figure(Percent(s.firstPass, s.judgedUnits));
    };
    for (const auto& [name, station] : f.StationRows(50)) row(name, station);
    EndTable(html);
}

void Failures(HtmlWriter& html, const Figures& f) {
    html.Element("h2", "Failure causes (Pareto)");
    html.NewLine();
    const auto causes = f.CausesByCount();
    if (causes.empty()) {
        html.Element("p", "No unit failures.");
    } else {
        charts::Pareto(html, f);
        int64_t total = 0, cumulative = 0;
        for (const auto& [cause, count] : causes) total += count;
        Heads(html, {"Cause", "Failures", "Share", "Cumulative"});
        for (const auto& [cause, count] : causes) {
            cumulative += count;
            Row(html)
                .Text(cause)
                .Figure(count)
                .Figure(Percent(count, total))
                .Figure(Percent(cumulative, total));
        }
        if (f.causes.overflowed()) Row(html).Text("(other causes)").Figure(f.causes.others());
        EndTable(html);
    }
    html.Element("h2", "Failures by item");
    html.NewLine();
    Heads(html, {"Item", "Failures", "Communication errors"});
    for (size_t i = 0; i < 7; ++i) {
        Row(html)
            .Text(std::to_string(i + 1) + "." + std::string(ItemTitle(static_cast<int>(i) + 1)))
            .Figure(f.failedByItem[i])
            .Figure(f.communicationByItem[i]);
    }
    EndTable(html);
    html.Element("p", "Cancelled: " + std::to_string(f.cancelled) +
                          "; window closed mid-run: " + std::to_string(f.closed) + ".");
    html.NewLine();
}

std::string Limits(const JudgedValue& catalogued, const Capability& c) {
    if (c.lowerActive && c.upperActive) {
        return std::to_string(catalogued.lower) + " to " + std::to_string(catalogued.upper);
    }
    if (c.lowerActive) return "at least " + std::to_string(catalogued.lower);
    if (c.upperActive) return "at most " + std::to_string(catalogued.upper);
    return "none";
}

void CapabilityTable(HtmlWriter& html, const Figures& f) {
    html.Element("h2", "Process capability");
    html.NewLine();
    html.Element("p", {{"class", "sub"}},
                 "Every judged value against limits " + std::string(kLimitsRevision) +
                     ", the values closest to their limits first. A limit at the byte's end (0 "
                     "or 255) cannot fail: such a value has a one-sided limit, no Cp, and its "
                     "Cpk from the other bound. \"-\": fewer than two readings, or no spread.");
    Heads(html,
          {"Value", "Label", "n", "Mean", "SD", "Min", "Max", "Limits", "Cp", "Cpk", "Outside"});
    for (size_t i : f.closestFirst) {
        const Capability& c = f.capability[i];
        if (c.n == 0) continue;
        const JudgedValue& catalogued = kJudgedValues[i];
        Row(html, c.outsideShare > 0 ? "out" : "")
            .Text(ValueKey(catalogued))
            .Text(std::string(catalogued.label) + (catalogued.judged ? "" : " (not judged)"))
            .Figure(static_cast<int64_t>(c.n))
            .Figure(Fixed(c.mean, 2))
            .Figure(Fixed(c.sd, 2))
            .Figure(c.min)
            .Figure(c.max)
            .Text(Limits(catalogued, c))
            .Figure(Fixed(c.cp, 2))
            .Figure(Fixed(c.cpk, 2))
            .Figure(Share(c.outsideShare));
    }
    EndTable(html);
    std::string none;
    for (size_t i : f.closestFirst) {
        if (f.capability[i].n != 0) continue;
        none += (none.empty() ? "" : ", ") + ValueKey(kJudgedValues[i]);
    }
    if (!none.empty()) html.Element("p", {{"class", "sub"}}, "No readings: " + none + ".");
    for (size_t i : f.closestFirst) {
        const Capability& c = f.capability[i];
        if (c.n == 0) continue;
        const JudgedValue& catalogued = kJudgedValues[i];
        html.Element("h3", ValueKey(catalogued) + " " + std::string(catalogued.label) +
                               (catalogued.judged ? "" : " (not judged)") + ": n " +
                               std::to_string(c.n) + ", mean " + Fixed(c.mean, 2) + ", SD " +
                               Fixed(c.sd, 2) + ", Cpk " + Fixed(c.cpk, 2) + ", outside " +
                               Share(c.outsideShare));
        html.NewLine();
        html.Open("div", {{"class", "charts"}});
        charts::Histogram(html, f, i);
        charts::RunChart(html, f, i);
        html.Close();
        html.NewLine();
    }
}

void Slowest(HtmlWriter& html, const Figures& f) {
    html.Element("h2", "Slowest runs");
    html.NewLine();
    Heads(html, {"Start", "Station", "Outcome", "Seconds"});
    for (const Figures::SlowRun& run : f.slowest) {
        Row(html).Text(run.start).Text(run.station).Text(run.outcome).Figure(Fixed(run.seconds, 1));
    }
    EndTable(html);
}

}  // namespace

std::string HtmlPage(const Figures& f, const RecordReader::Tally& tally, std::string_view folder) {
    std::string page;
    HtmlWriter html(page);
    html.Doctype();
    html.Open("html", {{"lang", "en"}});
    html.NewLine();
    html.Open("head");
    html.NewLine();
    html.Void("meta", {{"charset", "utf-8"}});
    html.NewLine();
    html.Element("title", "ZUL10 yield report");
    html.NewLine();
    html.Open("style");
    html.NewLine();
    html.Constant(kStyle);
    html.Close();
    html.NewLine();
    html.Close();
    html.NewLine();
    html.Open("body");
    html.NewLine();
    html.Element("h1", "ZUL10 yield report");
    html.NewLine();
    Summary(html, f, tally, folder);
    Days(html, f);
    Units(html, f);
    Stations(html, f);
    Failures(html, f);
    CapabilityTable(html, f);
    Slowest(html, f);
    html.CloseAll();
    html.NewLine();
    return page;
}

}  // namespace zul::records
