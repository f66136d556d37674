#include "records/RecordReport.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <system_error>

namespace zul::records {

namespace fs = std::filesystem;
using Json = nlohmann::json;

namespace {

constexpr int kFormat = record::kFormat;
constexpr const char* kItemTitles[7] = {"Eeprom Erasing",           "Lever sensor check",
                                        "White level adjustment",   "Black level adjustment",
                                        "Without paper adjustment", "Mag adjustment",
                                        "Motor speed check"};

const std::set<std::string> kRunFields{
    "format",  "program", "version",     "run_id", "station",   "unit",    "limits",
    "host",    "user",    "port",        "device", "line",      "start",   "end",
    "seconds", "outcome", "failed_item", "cause",  "exchanges", "retries", "items"};
const std::set<std::string> kItemFields{"item",   "title",  "verdict",       "measured",
                                        "values", "report", "eeprom_written"};

// A field of the wrong type makes the line no record.
struct WrongType {
    std::string field;
};

std::string Text(const Json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || it->is_null()) return "";
    if (!it->is_string()) throw WrongType{key};
    return it->get<std::string>();
}

double Number(const Json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || it->is_null()) return 0;
    if (!it->is_number()) throw WrongType{key};
    return it->get<double>();
}

// A whole number within the range of a count; a fraction or a number out
// of range makes the line no record.
int64_t Count64(const Json& object, const char* key) {
    const double value = Number(object, key);
    if (!(value >= -1e15 && value <= 1e15) ||
        value != static_cast<double>(static_cast<int64_t>(value))) {
        throw WrongType{key};
    }
    return static_cast<int64_t>(value);
}

std::string ValueText(const Json& value) {
    if (value.is_boolean()) return value.get<bool>() ? "yes" : "no";
    if (value.is_number_integer() || value.is_number_unsigned()) return value.dump();
    if (value.is_number()) return value.dump();
    if (value.is_string()) return value.get<std::string>();
    return "";
}

void ReadItem(const Json& item, Run& run, std::vector<std::string>& unknown) {
    if (!item.is_object()) throw WrongType{"items"};
    const int64_t number = Count64(item, "item");
    if (number < 1 || number > 7) throw WrongType{"item"};
    const std::string prefix = std::to_string(number) + ".";
    run.verdicts[static_cast<size_t>(number - 1)] = Text(item, "verdict");
    for (const auto& [key, value] : item.items()) {
        if (kItemFields.count(key) == 0) unknown.push_back("items." + key);
    }
    if (const auto measured = item.find("measured"); measured != item.end()) {
        if (!measured->is_object()) throw WrongType{"measured"};
        for (const auto& [name, value] : measured->items()) {
            if (value.is_array()) {
                for (size_t i = 0; i < value.size(); ++i) {
                    run.values.emplace_back(prefix + name + "." + std::to_string(i),
                                            ValueText(value[i]));
                }
            } else {
                run.values.emplace_back(prefix + name, ValueText(value));
            }
        }
    }
    if (const auto written = item.find("eeprom_written"); written != item.end()) {
        run.values.emplace_back(prefix + "eeprom_written", ValueText(*written));
    }
}

// Column names ordered by item, then name, numbers by value: "3.ad.2"
// before "3.ad.10".
bool ColumnBefore(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit(static_cast<unsigned char>(a[i])) &&
            std::isdigit(static_cast<unsigned char>(b[j]))) {
            size_t ei = i, ej = j;
            while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) ++ei;
            while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) ++ej;
            const long na = std::stol(a.substr(i, ei - i)), nb = std::stol(b.substr(j, ej - j));
            if (na != nb) return na < nb;
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j]) return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string Format(const char* format, double a, double b = 0, double c = 0) {
    char text[256];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

std::string Percent(int part, int whole) {
    return whole > 0 ? Format("%.1f %%", 100.0 * part / whole) : "-";
}

std::string Pad(std::string text, size_t width, bool right = false) {
    if (text.size() >= width) return text;
    const std::string fill(width - text.size(), ' ');
    return right ? fill + text : text + fill;
}

}  // namespace

std::string ParseRun(const std::string& line, Run& run, std::vector<std::string>& unknown) {
    const Json record = Json::parse(line, nullptr, false);
    if (record.is_discarded()) return "torn or not JSON";
    if (!record.is_object() || record.value("program", Json()) != "zul10" ||
        !record.contains("format") || !record["format"].is_number_integer()) {
        return "not a ZUL10 record";
    }
    const int format = record["format"].get<int>();
    if (format > kFormat)
        return "written by a newer version (format " + std::to_string(format) + ")";
    try {
        run = Run{};
        run.start = Text(record, "start");
        if (run.start.size() < 10) return "no start time";
        run.date = run.start.substr(0, 10);
        run.end = Text(record, "end");
        run.host = Text(record, "host");
        run.user = Text(record, "user");
        run.version = Text(record, "version");
        run.port = Text(record, "port");
        run.device = Text(record, "device");
        run.line = Text(record, "line");
        run.outcome = Text(record, "outcome");
        run.cause = Text(record, "cause");
        run.failedItem =
            static_cast<int>(std::clamp<int64_t>(Count64(record, "failed_item"), 0, 8));
        run.seconds = Number(record, "seconds");
        run.exchanges = Count64(record, "exchanges");
        run.retries = Count64(record, "retries");
        for (const auto& [key, value] : record.items()) {
            if (kRunFields.count(key) == 0) unknown.push_back(key);
        }
        if (const auto items = record.find("items"); items != record.end()) {
            if (!items->is_array()) throw WrongType{"items"};
            for (const Json& item : *items) ReadItem(item, run, unknown);
        }
    } catch (const WrongType& wrong) {
        return "field \"" + wrong.field + "\" of the wrong kind";
    }
    if (run.outcome.empty()) return "no outcome";
    return "";
}

bool LoadFolder(const std::string& folder, Records& records, std::ostream& errors) {
    std::error_code ec;
    std::vector<fs::path> files;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind("zul10-", 0) == 0 && name.size() > 6 &&
            name.compare(name.size() - 6, 6, ".jsonl") == 0) {
            files.push_back(it->path());
        }
    }
    if (ec) {
        errors << "zul10-records: cannot read " << folder << ": " << ec.message() << "\n";
        return false;
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& path : files) {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            errors << path.string() << ": cannot be read\n";
            continue;
        }
        ++records.files;
        std::set<std::string> unknownNamed;
        std::string line;
        for (int number = 1; std::getline(in, line); ++number) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.find_first_not_of(" \t") == std::string::npos) continue;
            Run run;
            std::vector<std::string> unknown;
            const std::string why = ParseRun(line, run, unknown);
            if (!why.empty()) {
                ++records.badLines;
                errors << path.filename().string() << ":" << number << ": " << why << ", skipped\n";
                continue;
            }
            for (const std::string& field : unknown) {
                if (unknownNamed.insert(field).second) {
                    errors << path.filename().string() << ":" << number << ": unknown field \""
                           << field << "\" ignored\n";
                }
            }
            records.runs.push_back(std::move(run));
        }
    }
    std::stable_sort(records.runs.begin(), records.runs.end(),
                     [](const Run& a, const Run& b) { return a.start < b.start; });
    return true;
}

void KeepDates(Records& records, const std::string& from, const std::string& to) {
    std::erase_if(records.runs, [&](const Run& run) {
        return (!from.empty() && run.date < from) || (!to.empty() && run.date > to);
    });
}

std::string CauseText(const std::string& banner) {
    const size_t first = banner.find_first_not_of("X ");
    if (first == std::string::npos) return banner;
    const size_t last = banner.find_last_not_of("X ");
    return banner.substr(first, last - first + 1);
}

Figures Count(const Records& records) {
    Figures f;
    std::map<std::string, Figures::Day> days;
    std::map<std::string, int> causes;
    for (const Run& run : records.runs) {
        Figures::Day& day = days[run.date];
        day.date = run.date;
        ++day.units;
        ++f.units;
        if (run.complete()) {
            ++day.complete;
            ++f.complete;
        } else if (run.outcome == outcome::kCancelled) {
            ++f.cancelled;
        } else if (run.outcome == outcome::kClosed) {
            ++f.closed;
        } else {
            ++day.failed;
            ++f.failed;
            if (run.failedItem >= 1 && run.failedItem <= 7) {
                ++f.failedByItem[static_cast<size_t>(run.failedItem - 1)];
            }
            ++causes[run.cause.empty() ? run.outcome : CauseText(run.cause)];
        }
        f.slowest.push_back(&run);
    }
    for (auto& [date, day] : days) f.days.push_back(day);
    f.causes.assign(causes.begin(), causes.end());
    std::stable_sort(f.causes.begin(), f.causes.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    std::stable_sort(f.slowest.begin(), f.slowest.end(),
                     [](const Run* a, const Run* b) { return a->seconds > b->seconds; });
    if (f.slowest.size() > 10) f.slowest.resize(10);
    return f;
}

// "1 run", "2 runs".
static std::string Counted(int n, const std::string& noun) {
    return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

std::string SummaryText(const Records& records, const std::string& folder) {
    const Figures f = Count(records);
    std::string out = "ZUL10 run records in " + folder + ": " + Counted(f.units, "run") + " in " +
                      Counted(records.files, "file");
    if (!f.days.empty()) out += ", " + f.days.front().date + " to " + f.days.back().date;
    out += "\n";
    if (records.badLines > 0) {
        out += Counted(records.badLines, "bad line") + " skipped (named on standard error)\n";
    }
    out += "\nDay         Units  Complete  Failed  Stopped     Yield\n";
    const auto row = [&](const std::string& name, int units, int complete, int failed) {
        out += Pad(name, 10) + Pad(std::to_string(units), 7, true) +
               Pad(std::to_string(complete), 10, true) + Pad(std::to_string(failed), 8, true) +
               Pad(std::to_string(units - complete - failed), 9, true) +
               Pad(Percent(complete, complete + failed), 10, true) + "\n";
    };
    for (const Figures::Day& day : f.days) row(day.date, day.units, day.complete, day.failed);
    row("All", f.units, f.complete, f.failed);
    out += "(Yield: complete of complete and failed; stopped: cancelled or window closed.)\n";
    out += "\nFailures by item\n";
    bool any = false;
    for (size_t i = 0; i < 7; ++i) {
        if (f.failedByItem[i] == 0) continue;
        any = true;
        out += "  " + Pad(std::to_string(i + 1) + "." + kItemTitles[i], 30) +
               Pad(std::to_string(f.failedByItem[i]), 5, true) + "\n";
    }
    if (!any) out += "  none\n";
    out += "\nFailures by cause\n";
    for (const auto& [cause, count] : f.causes) {
        out += "  " + Pad(cause, 48) + Pad(std::to_string(count), 5, true) + "\n";
    }
    if (f.causes.empty()) out += "  none\n";
    out += "\nCancelled " + std::to_string(f.cancelled) + ", window closed mid-run " +
           std::to_string(f.closed) + "\n";
    out += "\nSlowest runs\n";
    for (const Run* run : f.slowest) {
        out += "  " + Pad(run->start, 30) + Pad(run->host, 14) + Pad(run->outcome, 20) +
               Format("%8.1f s", run->seconds) + "\n";
    }
    return out;
}

std::string CsvText(const Records& records) {
    std::set<std::string, decltype(&ColumnBefore)> columns(&ColumnBefore);
    for (const Run& run : records.runs) {
        for (const auto& [name, value] : run.values) columns.insert(name);
    }
    std::string out =
        "start,end,seconds,host,user,version,port,device,line,outcome,failed_item,cause,"
        "exchanges,retries,item1,item2,item3,item4,item5,item6,item7";
    for (const std::string& column : columns) {
        out += ',';
        out += CsvField(column);
    }
    out += "\r\n";
    for (const Run& run : records.runs) {
        const std::map<std::string, std::string> values(run.values.begin(), run.values.end());
        std::vector<std::string> fields{run.start,
                                        run.end,
                                        Format("%.3f", run.seconds),
                                        run.host,
                                        run.user,
                                        run.version,
                                        run.port,
                                        run.device,
                                        run.line,
                                        run.outcome,
                                        run.failedItem > 0 ? std::to_string(run.failedItem) : "",
                                        CauseText(run.cause),
                                        std::to_string(run.exchanges),
                                        std::to_string(run.retries)};
        fields.insert(fields.end(), run.verdicts.begin(), run.verdicts.end());
        for (const std::string& column : columns) {
            const auto it = values.find(column);
            fields.push_back(it != values.end() ? it->second : "");
        }
        for (size_t i = 0; i < fields.size(); ++i) {
            if (i > 0) out += ',';
            out += CsvField(fields[i]);
        }
        out += "\r\n";
    }
    return out;
}

namespace {

// The opening tag of an inline chart of width x height pixels, named label.
std::string SvgStart(double width, double height, const char* label) {
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Format("%.0f", width) +
           "\" height=\"" + Format("%.0f", height) + "\" role=\"img\" aria-label=\"" + label +
           "\">\n";
}

// The yield of each day as bars, 0 to 100 %.
std::string YieldChart(const Figures& f) {
    const int n = static_cast<int>(f.days.size());
    const double left = 56, top = 20, plotH = 200,
                 slot = n > 0 ? std::clamp(640.0 / n, 14.0, 90.0) : 40;
    const double width = left + slot * std::max(n, 1) + 20, height = top + plotH + 60;
    std::string svg = SvgStart(width, height, "Yield per day");
    for (int p = 0; p <= 100; p += 25) {
        const double y = top + plotH * (1 - p / 100.0);
        svg += Format("<line x1=\"%.0f\" x2=\"%.0f\" y1=\"%.1f\" class=\"grid\"", left, width - 10,
                      y) +
               Format(" y2=\"%.1f\"/>", y) +
               Format("<text x=\"%.0f\" y=\"%.1f\" class=\"axis\" text-anchor=\"end\">", left - 6,
                      y + 4) +
               std::to_string(p) + " %</text>\n";
    }
    const int labelEvery = std::max(1, n / 16);
    for (int i = 0; i < n; ++i) {
        const Figures::Day& day = f.days[static_cast<size_t>(i)];
        const double yield =
            day.Judged() > 0 ? static_cast<double>(day.complete) / day.Judged() : 0;
        const double barW = std::min(slot * 0.7, 60.0), x = left + slot * i + (slot - barW) / 2;
        const double h = plotH * yield, y = top + plotH - h;
        svg += "<rect x=\"" + Format("%.1f", x) + "\" y=\"" + Format("%.1f", y) + "\" width=\"" +
               Format("%.1f", barW) + "\" height=\"" + Format("%.1f", h) +
               "\" class=\"bar\"><title>" + day.date + ": " + std::to_string(day.complete) +
               " complete, " + std::to_string(day.failed) + " failed</title></rect>\n";
        if (n <= 31) {
            svg += Format("<text x=\"%.1f\" y=\"%.1f\" class=\"value\" text-anchor=\"middle\">",
                          x + barW / 2, y - 4) +
                   Format("%.0f %%", yield * 100) + "</text>\n";
        }
        if (i % labelEvery == 0) {
            svg += Format("<text x=\"%.1f\" y=\"%.1f\" class=\"axis\" text-anchor=\"middle\">",
                          x + barW / 2, top + plotH + 16) +
                   day.date.substr(5) + "</text>\n";
            svg += Format("<text x=\"%.1f\" y=\"%.1f\" class=\"small\" text-anchor=\"middle\">",
                          x + barW / 2, top + plotH + 30) +
                   std::to_string(day.complete) + "/" + std::to_string(day.Judged()) + "</text>\n";
        }
    }
    return svg + "</svg>\n";
}

// The failure causes as a Pareto chart: bars by count, most first, against
// the count of all failures, and the cumulative share as a line.
std::string ParetoChart(const Figures& f) {
    int total = 0;
    for (const auto& [cause, count] : f.causes) total += count;
    const int n = static_cast<int>(f.causes.size());
    const double left = 56, top = 20, plotH = 200, slot = 80;
    const double width = left + slot * std::max(n, 1) + 60, height = top + plotH + 150;
    std::string svg = SvgStart(width, height, "Failure causes, Pareto chart");
    for (int p = 0; p <= 100; p += 25) {
        const double y = top + plotH * (1 - p / 100.0);
        svg += Format("<line x1=\"%.0f\" x2=\"%.0f\" y1=\"%.1f\" class=\"grid\"", left,
                      left + slot * std::max(n, 1), y) +
               Format(" y2=\"%.1f\"/>", y) +
               Format("<text x=\"%.0f\" y=\"%.1f\" class=\"axis\" text-anchor=\"end\">", left - 6,
                      y + 4) +
               Format("%.0f", total * p / 100.0) + "</text>" +
               Format("<text x=\"%.0f\" y=\"%.1f\" class=\"axis\">",
                      left + slot * std::max(n, 1) + 6, y + 4) +
               std::to_string(p) + " %</text>\n";
    }
    std::string points;
    int cumulative = 0;
    for (int i = 0; i < n; ++i) {
        const auto& [cause, count] = f.causes[static_cast<size_t>(i)];
        cumulative += count;
        const double barW = slot * 0.6, x = left + slot * i + (slot - barW) / 2;
        const double h = total > 0 ? plotH * count / total : 0, y = top + plotH - h;
        svg += "<rect x=\"" + Format("%.1f", x) + "\" y=\"" + Format("%.1f", y) + "\" width=\"" +
               Format("%.1f", barW) + "\" height=\"" + Format("%.1f", h) +
               "\" class=\"fail\"><title>" + Escape(cause) + ": " + std::to_string(count) +
               "</title></rect>\n";
        // The count inside a bar tall enough for it, so that the first
        // point of the line, at the top of the first bar, hides nothing.
        const bool inside = h >= 16;
        svg += Format("<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\"", x + barW / 2,
                      inside ? y + 13 : y - 4) +
               (inside ? " class=\"inbar\">" : " class=\"value\">") + std::to_string(count) +
               "</text>\n";
        const std::string label = cause.size() > 30 ? cause.substr(0, 29) + "..." : cause;
        svg += Format(
                   "<text transform=\"translate(%.1f %.1f) rotate(-35)\" class=\"axis\" "
                   "text-anchor=\"end\">",
                   x + barW / 2, top + plotH + 14) +
               Escape(label) + "</text>\n";
        const double cy = top + plotH * (1 - static_cast<double>(cumulative) / total);
        points += Format("%.1f,%.1f ", x + barW / 2, cy);
        svg +=
            Format("<circle cx=\"%.1f\" cy=\"%.1f\" r=\"3.5\" class=\"cum\"/>\n", x + barW / 2, cy);
    }
    if (n > 0) svg += "<polyline points=\"" + points + "\" class=\"cumline\"/>\n";
    return svg + "</svg>\n";
}

}  // namespace

std::string HtmlPage(const Records& records, const std::string& folder) {
    const Figures f = Count(records);
    std::string period =
        f.days.empty() ? "no runs" : f.days.front().date + " to " + f.days.back().date;
    std::string page =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<title>ZUL10 yield report</title>\n<style>\n"
        "body{font-family:Arial,Helvetica,sans-serif;margin:24px;color:#222}\n"
        "h1{font-size:22px;margin-bottom:4px}h2{font-size:17px;margin-top:28px}\n"
        ".sub{color:#555}\n"
        "table{border-collapse:collapse;margin-top:8px}\n"
        "td,th{border:1px solid #bbb;padding:3px 10px;text-align:left}\n"
        "td.n{text-align:right}th{background:#eef1f5}\n"
        ".grid{stroke:#ddd;stroke-width:1}.axis{font-size:11px;fill:#444}\n"
        ".small{font-size:10px;fill:#777}.value{font-size:11px;fill:#222}\n"
        ".bar{fill:#3a7d44}.fail{fill:#c0504d}.cum{fill:#1f4e79}\n"
        ".inbar{font-size:11px;fill:#fff;font-weight:bold}\n"
        ".cumline{fill:none;stroke:#1f4e79;stroke-width:2}\n"
        "</style>\n</head>\n<body>\n<h1>ZUL10 yield report</h1>\n<p class=\"sub\">" +
        Escape(folder) + ": " + std::to_string(f.units) + " runs, " + Escape(period) + ", " +
        std::to_string(f.complete) + " complete, " + std::to_string(f.failed) + " failed, " +
        std::to_string(f.units - f.complete - f.failed) + " stopped; yield " +
        Percent(f.complete, f.complete + f.failed);
    if (records.badLines > 0)
        page += "; " + std::to_string(records.badLines) + " bad lines skipped";
    page += "</p>\n<h2>Yield per day</h2>\n" + YieldChart(f);
    page +=
        "<table>\n<tr><th>Day</th><th>Units</th><th>Complete</th><th>Failed</th>"
        "<th>Stopped</th><th>Yield</th></tr>\n";
    for (const Figures::Day& day : f.days) {
        page += "<tr><td>" + day.date + "</td><td class=\"n\">" + std::to_string(day.units) +
                "</td><td class=\"n\">" + std::to_string(day.complete) + "</td><td class=\"n\">" +
                std::to_string(day.failed) + "</td><td class=\"n\">" +
                std::to_string(day.units - day.Judged()) + "</td><td class=\"n\">" +
                Percent(day.complete, day.Judged()) + "</td></tr>\n";
    }
    page += "</table>\n<h2>Failure causes (Pareto)</h2>\n";
    if (f.causes.empty()) {
        page += "<p>No failures.</p>\n";
    } else {
        page += ParetoChart(f);
        int total = 0, cumulative = 0;
        for (const auto& [cause, count] : f.causes) total += count;
        page +=
            "<table>\n<tr><th>Cause</th><th>Failures</th><th>Share</th><th>Cumulative</th></tr>\n";
        for (const auto& [cause, count] : f.causes) {
            cumulative += count;
            page += "<tr><td>" + Escape(cause) + "</td><td class=\"n\">" + std::to_string(count) +
                    "</td><td class=\"n\">" + Percent(count, total) + "</td><td class=\"n\">" +
                    Percent(cumulative, total) + "</td></tr>\n";
        }
        page += "</table>\n<h2>Failures by item</h2>\n";
    }
    page += "<table>\n<tr><th>Item</th><th>Failures</th></tr>\n";
    for (size_t i = 0; i < 7; ++i) {
        page += "<tr><td>" + std::to_string(i + 1) + "." + kItemTitles[i] +
                "</td><td class=\"n\">" + std::to_string(f.failedByItem[i]) + "</td></tr>\n";
    }
    page += "</table>\n<p>Cancelled: " + std::to_string(f.cancelled) +
            "; window closed mid-run: " + std::to_string(f.closed) + ".</p>\n";
    page +=
        "<h2>Slowest runs</h2>\n<table>\n<tr><th>Start</th><th>Host</th><th>Port</th>"
        "<th>Outcome</th><th>Seconds</th></tr>\n";
    for (const Run* run : f.slowest) {
        page += "<tr><td>" + Escape(run->start) + "</td><td>" + Escape(run->host) + "</td><td>" +
                Escape(run->port) + "</td><td>" + Escape(run->outcome) + "</td><td class=\"n\">" +
                Format("%.1f", run->seconds) + "</td></tr>\n";
    }
    return page + "</table>\n</body>\n</html>\n";
}

}  // namespace zul::records
