#include "records/SummaryText.h"

#include "records/Numbers.h"
#include "records/TextSafety.h"

namespace zul::records {

namespace {

// The characters text takes on a terminal: one a code point (UTF-8
// continuation bytes take none).
size_t Width(std::string_view text) {
    size_t n = 0;
    for (char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

// text made safe and filled with blanks to width, on the left (right) or
// the right.
std::string Cell(std::string_view text, size_t width, bool right = false) {
    std::string clean = CleanText(text);
    const size_t w = Width(clean);
    if (w >= width) return clean;
    const std::string fill(width - w, ' ');
    return right ? fill + clean : clean + fill;
}
std::string Num(int64_t n, size_t width) {
    return Cell(std::to_string(n), width, true);
}

class Lines {
public:
    void operator()(const std::string& line) {
        text_ += CleanText(line);
        text_ += '\n';
    }
    std::string text_;
};

void DaysTable(Lines& out, const Figures& f) {
    out("Day          Runs  Complete  Failed  Comm.err  Stopped     Yield");
    const auto row = [&](std::string_view name, const RunCounts& c) {
        out(Cell(name, 10) + Num(c.runs, 8) + Num(c.complete, 10) + Num(c.failed, 8) +
            Num(c.communication, 10) + Num(c.Stopped(), 9) +
            Cell(Percent(c.complete, c.Judged()), 10, true));
    };
    for (const auto& [date, day] : f.days) row(date, day.counts);
    row("All", f.all);
    if (f.runsOfOtherDays > 0) {
        out("(" + Counted(f.runsOfOtherDays, "run") + " of days beyond the first " +
            std::to_string(Figures::kMaxDays) + " counted in All only.)");
    }
    out("(Yield: complete of complete and failed. Communication errors and stopped runs,");
    out(" cancelled or window closed, say nothing about the unit and are counted apart.)");
}

void UnitSection(Lines& out, const Figures& f) {
    const Figures::Units& u = f.units;
    out("");
    if (u.units == 0) {
        out("Yield by unit: no run carries a serial number.");
        return;
    }
    out("Yield by unit (" + std::to_string(u.runsWithUnit) + " of " + Counted(f.all.runs, "run") +
        " carry a serial number)");
    out("  Units                  " + std::to_string(u.units) + " (" + std::to_string(u.judged) +
        " with a run that came to a verdict)");
    out("  First-pass yield       " + Percent(u.firstPass, u.judged) + " (" +
        std::to_string(u.firstPass) + " of " + std::to_string(u.judged) +
        " units: their first run completed)");
    out("  Final yield            " + Percent(u.finalPass, u.judged) + " (" +
        std::to_string(u.finalPass) + " of " + std::to_string(u.judged) +
        " units: their last run completed)");
    const int64_t tracked = u.runsWithUnit - u.untracked;
    out("  Retests per unit       " +
        Fixed(static_cast<double>(tracked - u.units) / static_cast<double>(u.units), 2));
    out("  Units by runs          1: " + std::to_string(u.byRuns[0]) +
        "   2: " + std::to_string(u.byRuns[1]) + "   3: " + std::to_string(u.byRuns[2]) +
        "   4 or more: " + std::to_string(u.byRuns[3]));
    if (u.untracked > 0) {
        out("  (" + Counted(u.untracked, "run") + " of units beyond the first " +
            std::to_string(UnitTable::kMaxUnits) + " counted as runs only.)");
    }
    if (!u.most.empty()) {
        out("  Retested most");
        for (const Figures::Units::Most& m : u.most) {
            const auto word = [&](bool complete) { return complete ? "complete" : "failed"; };
            out("    " + Cell(m.serial, 24) + Cell(Counted(m.runs, "run"), 10, true) +
                (m.judged ? std::string("   first ") + word(m.firstComplete) + ", last " +
                                word(m.lastComplete)
                          : std::string("   no verdict")));
        }
    }
    out("  Runs without a serial number: " + std::to_string(u.runsWithoutUnit));
}

void StationSection(Lines& out, const Figures& f) {
    out("");
    out("Stations");
    out("  Station               Runs   Units  Complete  Failed  Comm.err     Yield  First pass");
    const auto row = [&](std::string_view name, const Figures::Station& s) {
        out("  " + Cell(name, 18) + Num(s.counts.runs, 8) + Num(s.units, 8) +
            Num(s.counts.complete, 10) + Num(s.counts.failed, 8) + Num(s.counts.communication, 10) +
            Cell(Percent(s.counts.complete, s.counts.Judged()), 10, true) +
            Cell(Percent(s.firstPass, s.judgedUnits), 12, true));
    };
    const auto stations = f.StationRows(20);
    for (const auto& [name, station] : stations) row(name, station);
    if (stations.empty()) out("  none");
}

void FailureSection(Lines& out, const Figures& f) {
    out("");
    out("Failures by item               Failed  Comm.err");
    bool any = false;
    for (size_t i = 0; i < 7; ++i) {
        if (f.failedByItem[i] == 0 && f.communicationByItem[i] == 0) continue;
        any = true;
        out("  " +
            Cell(std::to_string(i + 1) + "." + std::string(ItemTitle(static_cast<int>(i) + 1)),
                 28) +
            Num(f.failedByItem[i], 8) + Num(f.communicationByItem[i], 10));
    }
    if (!any) out("  none");
    out("");
    out("Failures by cause (communication errors apart: " + std::to_string(f.all.communication) +
        ")");
    const auto causes = f.CausesByCount();
    for (const auto& [cause, count] : causes) out("  " + Cell(cause, 48) + Num(count, 7));
    if (f.causes.overflowed()) out("  " + Cell("(other causes)", 48) + Num(f.causes.others(), 7));
    if (causes.empty()) out("  none");
    out("");
    out("Cancelled " + std::to_string(f.cancelled) + ", window closed mid-run " +
        std::to_string(f.closed));
}

void CapabilitySection(Lines& out, const Figures& f) {
    out("");
    out("Closest to their limits (process capability against limits " +
        std::string(kLimitsRevision) + ")");
    out("  Value            Label             n    Mean     SD  Min  Max  Limits      Cp    Cpk"
        "  Outside");
    size_t shown = 0;
    for (size_t i : f.closestFirst) {
        const Capability& c = f.capability[i];
        if (c.n == 0 || shown == kSummaryValues) break;
        ++shown;
        const JudgedValue& catalogued = kJudgedValues[i];
        out("  " + Cell(ValueKey(catalogued), 17) + Cell(catalogued.label, 12) +
            Cell(std::to_string(c.n), 8, true) + Cell(Fixed(c.mean, 1), 8, true) +
            Cell(Fixed(c.sd, 2), 7, true) + Cell(std::to_string(c.min), 5, true) +
            Cell(std::to_string(c.max), 5, true) + "  " +
            Cell(std::to_string(catalogued.lower) + "-" + std::to_string(catalogued.upper), 8) +
            Cell(Fixed(c.cp, 2), 6, true) + Cell(Fixed(c.cpk, 2), 7, true) +
            Cell(Share(c.outsideShare), 9, true) + (catalogued.judged ? "" : "  (not judged)"));
    }
    if (shown == 0) {
        out("  no readings");
    } else {
        out("  (" + std::to_string(shown) + " of " + std::to_string(kValueCount) +
            " values; every value in csv and html. A limit at 0 or 255 cannot fail: one-sided,");
        out("   Cp \"-\". \"-\": fewer than two readings, or no spread.)");
    }
}

}  // namespace

std::string SummaryText(const Figures& f, const RecordReader::Tally& tally,
                        std::string_view folder) {
    Lines out;
    std::string head =
        "ZUL10 run records in " + std::string(folder) + ": " + Counted(f.all.runs, "run");
    if (tally.files >= 0) head += " in " + Counted(tally.files, "file");
    if (!f.days.empty()) head += ", " + f.days.begin()->first + " to " + f.days.rbegin()->first;
    out(head);
    if (tally.badLines > 0) {
        out(Counted(tally.badLines, "bad line") + " skipped (named on standard error)");
    }
    if (tally.skippedEntries > 0) {
        out(std::to_string(tally.skippedEntries) +
            (tally.skippedEntries == 1 ? " entry" : " entries") +
            " named like a record file but not a regular file, skipped (named on standard "
            "error)");
    }
    if (tally.duplicates > 0) {
        out(Counted(tally.duplicates, "second delivery", "second deliveries") +
            " of a run dropped");
    }
    if (tally.readError) out("Some files could not be read (named on standard error)");
    if (f.formatOne > 0) {
        out(Counted(f.formatOne, "run") + " of format 1 judged by the report against limits " +
            std::string(kLimitsRevision));
    }
    for (const auto& [revision, runs] : f.limits.names()) {
        if (revision != kLimitsRevision) {
            out(Counted(runs, "run") + " judged at the bench against other limits (" + revision +
                ")");
        }
    }
    out("");
    DaysTable(out, f);
    UnitSection(out, f);
    StationSection(out, f);
    FailureSection(out, f);
    CapabilitySection(out, f);
    out("");
    out("Slowest runs");
    for (const Figures::SlowRun& run : f.slowest) {
        out("  " + Cell(run.start, 30) + Cell(run.station, 16) + Cell(run.outcome, 20) +
            Cell(Fixed(run.seconds, 1) + " s", 10, true));
    }
    if (f.slowest.empty()) out("  none");
    return out.text_;
}

}  // namespace zul::records
