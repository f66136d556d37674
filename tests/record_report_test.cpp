// The yield report over hostile and hand-made folders: planted markup,
// formulas and escape sequences come out inert in every output; numbers
// out of range, wrong types and huge lines make no record and stop nothing;
// FIFOs, links and folders named like record files are skipped without
// waiting; --from/--to open only the files of their days; second
// deliveries are dropped; format-1 records are judged by the report; yield
// by unit and process capability match figures worked out by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "mock/Unprivileged.h"
#endif

#include "mock/ReadRecords.h"
#include "mock/RecordJson.h"
#include "mock/TemporaryDirectory.h"
#include "records/CsvReport.h"
#include "records/CsvWriter.h"
#include "records/HtmlReport.h"
#include "records/HtmlWriter.h"
#include "records/RecordParser.h"
#include "records/SummaryText.h"
#include "records/TextSafety.h"
#include "records/UnitTable.h"
#include "records/tool/Commands.h"

namespace zul {
namespace {

using Json = nlohmann::ordered_json;
using records::Outcome;
using test::ReadBack;
using test::ReadRecords;
using test::TemporaryDirectory;

using test::Failed;
using test::Record;
using test::SpeedItem;

void Write(const TemporaryDirectory& dir, const std::string& name,
           const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    test::WriteFile(dir.File(name), text);
}

std::string Csv(const ReadBack& all) {
    std::string csv;
    records::csv_report::Header(csv);
    for (const records::RunRecord& run : all.runs) records::csv_report::Row(run, csv);
    return csv;
}

bool HasControl(const std::string& text, bool allowNewline) {
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\n' && allowNewline) continue;
        if (c < 0x20 || c == 0x7F) return true;
        if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
            static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            return true;  // a C1 control in UTF-8
        }
    }
    return false;
}

TEST(RecordReport, CleanTextReplacesWhatActsAndKeepsWhatShows) {
    using records::CleanText;
    const std::string r = "\xEF\xBF\xBD";  // U+FFFD
    EXPECT_EQ(CleanText("\x1b[31mred\x1b]0;title\x07"), r + "[31mred" + r + "]0;title" + r);
    EXPECT_EQ(CleanText("a\tb\r\nc\x7f"), "a" + r + "b" + r + r + "c" + r);
    EXPECT_EQ(CleanText("\xC2\x9B"
                        "2J"),
              r + "2J");  // C1 CSI as UTF-8
    EXPECT_EQ(CleanText("\x9B"
                        "2J"),
              r + "2J");  // a lone C1 byte
    EXPECT_EQ(CleanText("\xE2\x80\xAE"
                        "evil"),
              r + "evil");                                 // right-to-left override
    EXPECT_EQ(CleanText("\xC0\xAF"), r + r);               // overlong "/"
    EXPECT_EQ(CleanText("\xED\xA0\x80"), r + r + r);       // a surrogate
    EXPECT_EQ(CleanText("\xE6\x97\xA5"), "\xE6\x97\xA5");  // 日 stays
    EXPECT_EQ(CleanText("\xE6\x97"), r + r);               // cut off
    EXPECT_EQ(records::CutText("\xE6\x97\xA5\xE6\x97\xA5", 4), "\xE6\x97\xA5");
}

TEST(RecordReport, PlantedMarkupFormulasAndEscapesComeOutInert) {
    TemporaryDirectory dir;
    Json hostile =
        Failed(Record("11111111-1111-4111-8111-111111111111", "2026-01-01T08:00:00.000+09:00",
                      "@SUM(1+1)", "<script>alert(1)</script>"),
               6, "=HYPERLINK(\"http://x\",\"y\"), \"quoted\"");
    hostile["host"] = "bench\x1b]0;pwned\x07\x1b[2J";
    hostile["user"] = "+cmd|' /C calc'!A0";
    hostile["version"] = "-2+3";
    hostile["port"] = "\tCOM1";
    hostile["device"] = "x' onmouseover='alert(1)";
    hostile["items"] = Json::array({SpeedItem(105)});
    Write(
        dir, "zul10-2026-01-01.jsonl",
        {hostile.dump(),
         // Markup in the start: no time, no record, named made harmless.
         R"({"format":2,"program":"zul10","start":"2026-01-01<script>alert(1)</script>\u001b[31m","outcome":"complete"})"});
    const ReadBack all = ReadRecords(dir.path().string());
    ASSERT_EQ(all.runs.size(), 1u) << all.errors;
    EXPECT_EQ(all.tally.badLines, 1);
    EXPECT_NE(all.errors.find("zul10-2026-01-01.jsonl:2: field \"start\" is no time"),
              std::string::npos)
        << all.errors;
    EXPECT_FALSE(HasControl(all.errors, true)) << all.errors;

    const std::string page = records::HtmlPage(all.figures, all.tally, "<b>folder</b>");
    EXPECT_EQ(page.find("<script"), std::string::npos);
    EXPECT_EQ(page.find("<b>"), std::string::npos);
    EXPECT_NE(page.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
    EXPECT_EQ(page.find("' onmouseover"), std::string::npos);
    EXPECT_EQ(page.find("\" onmouseover"), std::string::npos);
    EXPECT_FALSE(HasControl(page, true));

    const std::string csv = Csv(all);
    EXPECT_NE(csv.find(",'@SUM(1+1),"), std::string::npos) << csv.substr(0, 600);
    EXPECT_NE(csv.find(",\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\"), \"\"quoted\"\"\","),
              std::string::npos);
    EXPECT_NE(csv.find(",'+cmd|' /C calc'!A0,'-2+3,'\xEF\xBF\xBD"
                       "COM1,"),
              std::string::npos);
    EXPECT_NE(csv.find(",12.500,"), std::string::npos);  // a figure of our own: no guard
    EXPECT_FALSE(HasControl(csv.substr(0, csv.find("\r\n")), false));
    // Rows end in CR LF, and nothing but a row end holds a line feed.
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 2);
    EXPECT_EQ(csv.find("\n"), csv.find("\r\n") + 1);

    const std::string summary = records::SummaryText(all.figures, all.tally, "f\x1b[0m");
    EXPECT_FALSE(HasControl(summary, true)) << summary;
    EXPECT_NE(summary.find("<script>alert(1)</script>"), std::string::npos);  // text, shown
}

TEST(RecordReport, NumbersOutOfRangeAndWrongTypesMakeNoRecordAndStopNothing) {
    TemporaryDirectory dir;
    const auto with = [](const char* key, Json value) {
        Json r = Record("22222222-2222-4222-8222-222222222222", "2026-01-02T08:00:00.000+09:00");
        r[key] = std::move(value);
        return r.dump();
    };
    Json oddKey = Record("33333333-3333-4333-8333-333333333333", "2026-01-02T09:00:00.000+09:00");
    oddKey["items"] = Json::array({SpeedItem(100)});
    oddKey["items"][0]["measured"]["ad.99999999999999999999"] = 5;
    Json badValue = Json::parse(oddKey.dump());
    badValue["run_id"] = "44444444-4444-4444-8444-444444444444";
    badValue["items"][0]["values"][0]["value"] = 256;
    Json badSlot = Json::parse(oddKey.dump());
    badSlot["items"][0]["values"][0]["slot"] = 30;
    const std::vector<std::string> lines = {
        with("exchanges", Json::parse("99999999999999999999")),
        R"({"format":2,"program":"zul10","retries":99999999999999999999,"start":"2026-01-02T08:00:00+09:00","outcome":"complete"})",
        with("failed_item", 8),
        with("failed_item", 2.5),
        with("retries", -1),
        with("seconds", -3),
        with("seconds", "12"),
        with("format", "2"),
        with("format", 0),
        with("items", "none"),
        with("outcome", "exploded"),
        with("station", 7),
        badValue.dump(),
        badSlot.dump(),
        R"({"format":2,"program":"zul10","seconds":1e999,"start":"2026-01-02T08:00:00+09:00","outcome":"complete"})",
        R"({"format":2,"program":"zul10","start":"2026-01-02T08:00:00+09:00","outcome":"complete"} trailing)",
        "[1,2,3]",
        oddKey.dump(),  // the one record
        oddKey.dump(),  // delivered twice
    };
    Write(dir, "zul10-2026-01-02.jsonl", lines);
    const ReadBack all = ReadRecords(dir.path().string());
    ASSERT_EQ(all.runs.size(), 1u) << all.errors;
    EXPECT_EQ(all.tally.badLines, static_cast<int64_t>(lines.size()) - 2) << all.errors;
    EXPECT_EQ(all.tally.duplicates, 1);
    for (const char* why :
         {":1: field \"exchanges\" out of range", ":2: field \"retries\" out of range",
          ":3: field \"failed_item\" out of range", ":4: field \"failed_item\" of the wrong kind",
          ":5: field \"retries\" out of range", ":6: field \"seconds\" out of range",
          ":7: field \"seconds\" of the wrong kind", ":8: field \"format\" of the wrong kind",
          ":9: field \"format\" out of range", ":10: field \"items\" of the wrong kind",
          ":11: field \"outcome\" out of range", ":12: field \"station\" of the wrong kind",
          ":13: field \"values.value\" out of range", ":14: field \"values.slot\" out of range",
          ":15: torn or not JSON", ":16: torn or not JSON", ":17: not a ZUL10 record",
          ":18: unknown field \"measured.ad.99999999999999999999\" ignored"}) {
        EXPECT_NE(all.errors.find(std::string("zul10-2026-01-02.jsonl") + why), std::string::npos)
            << why << "\n"
            << all.errors;
    }
    // The odd key is named once, not again for the second line.
    EXPECT_EQ(all.errors.find("ad.9999", all.errors.find(":18: unknown") + 40), std::string::npos);
    const std::string csv = Csv(all);  // the known crash: no abort here
    EXPECT_EQ(csv.find("99999999999999999999"), std::string::npos);
    EXPECT_NE(csv.find(",100,"), std::string::npos);
    EXPECT_NE(records::SummaryText(all.figures, all.tally, "f").find("1 run in 1 file"),
              std::string::npos);
}

TEST(RecordReport, LinesOverOneMebibyteAreSkippedAndTheNextLineStillCounts) {
    TemporaryDirectory dir;
    Json huge = Record("55555555-5555-4555-8555-555555555555", "2026-01-03T08:00:00.000+09:00");
    huge["pad"] = std::string(2 << 20, 'x');
    Json justFits = Record("66666666-6666-4666-8666-666666666666", "2026-01-03T08:10:00.000+09:00");
    justFits["pad"] = "";
    std::string fits = justFits.dump();
    fits.insert(fits.find("\"pad\":\"") + 7, std::string((1 << 20) - fits.size(), 'y'));
    ASSERT_EQ(fits.size(), size_t{1} << 20);
    Write(dir, "zul10-2026-01-03.jsonl",
          {huge.dump(), fits,
           Record("77777777-7777-4777-8777-777777777777", "2026-01-03T09:00:00.000+09:00").dump()});
    // And a last line without its line end, as a crash leaves it.
    std::ofstream(dir.File("zul10-2026-01-03.jsonl"), std::ios::app | std::ios::binary)
        << Record("88888888-8888-4888-8888-888888888888", "2026-01-03T10:00:00.000+09:00").dump();
    const ReadBack all = ReadRecords(dir.path().string());
    EXPECT_EQ(all.runs.size(), 3u) << all.errors;
    EXPECT_EQ(all.tally.longLines, 1);
    EXPECT_NE(all.errors.find("zul10-2026-01-03.jsonl:1: longer than 1 MiB, skipped"),
              std::string::npos)
        << all.errors;
    EXPECT_EQ(all.errors.find(":2: longer"), std::string::npos) << all.errors;
}

TEST(RecordReport, SecondDeliveriesAreDroppedByRunIdOnTheirDay) {
    TemporaryDirectory dir;
    const std::string a =
        Record("aaaaaaaa-0000-4000-8000-000000000001", "2026-01-05T08:00:00.000+09:00").dump();
    const std::string b =
        Record("aaaaaaaa-0000-4000-8000-000000000002", "2026-01-05T08:05:00.000+09:00").dump();
    // A delivery cut short re-sends a and b; station 2's file repeats a.
    Write(dir, "zul10-2026-01-05-bench-1.jsonl", {a, b, a, b});
    Write(dir, "zul10-2026-01-05-bench-2.jsonl", {a});
    // The same id on another day is another run (and a format-1 record has
    // no id at all).
    Write(
        dir, "zul10-2026-01-06.jsonl",
        {Record("aaaaaaaa-0000-4000-8000-000000000001", "2026-01-06T08:00:00.000+09:00").dump(),
         R"({"format":1,"program":"zul10","start":"2026-01-06T09:00:00.000+09:00","outcome":"complete"})",
         R"({"format":1,"program":"zul10","start":"2026-01-06T09:00:00.000+09:00","outcome":"complete"})"});
    const ReadBack all = ReadRecords(dir.path().string());
    EXPECT_EQ(all.runs.size(), 5u) << all.errors;
    EXPECT_EQ(all.tally.duplicates, 3);
    EXPECT_EQ(all.figures.all.runs, 5);
    EXPECT_NE(records::SummaryText(all.figures, all.tally, "f").find("3 second deliveries"),
              std::string::npos);
}

TEST(RecordReport, FormatOneFoldersAreJudgedByTheReportAndMarkedSo) {
    TemporaryDirectory dir;
    // As the first format wrote them: white Front Red (slot 3) at 61 is
    // below its 62; the mag A/D is never judged.
    Write(
        dir, "zul10-2025-12-01.jsonl",
        {R"({"format":1,"program":"zul10","version":"1.01-01","host":"bench3","user":"operator","port":"COM1","device":"/dev/ttyUSB0","line":"9600 8E1","start":"2025-12-01T12:04:54.792+09:00","end":"2025-12-01T12:05:07.911+09:00","seconds":13.1,"outcome":"failed","failed_item":3,"cause":"XXXXXX  Adjustment error of white reference paper !  XXXXXX","exchanges":20,"retries":0,"items":[{"item":1,"title":"Eeprom Erasing","verdict":"pass","measured":{}},{"item":2,"title":"Lever sensor check","verdict":"pass","measured":{"paper_in":[1,192,192],"paper_out":[0,32,32]}},{"item":3,"title":"White level adjustment","verdict":"fail","measured":{"da":[128,128,128,128,128,128,128,128,128,128,128,128,128,128],"ad":[77,77,77,61,77,77,180,180,180,180,77,77,77,77],"registers":[85,85,5,5,64,64,64,64],"reg":[5,1,1,5,1,1,5,5,1,1,0,0,1,1]},"eeprom_written":false,"report":["*** 3.White level adjustment ***"]}]})",
         R"({"format":1,"program":"zul10","version":"1.01-01","host":"bench3","user":"operator","start":"2025-12-01T12:06:00.000+09:00","seconds":13.0,"outcome":"complete","exchanges":37,"retries":0,"items":[{"item":6,"title":"Mag adjustment","verdict":"pass","measured":{"peak":58,"ad":178,"peak_held":58},"eeprom_written":true}]})"});
    const ReadBack all = ReadRecords(dir.path().string());
    ASSERT_EQ(all.runs.size(), 2u) << all.errors;
    EXPECT_TRUE(all.errors.empty()) << all.errors;
    const records::RunRecord& failed = all.runs[0];
    EXPECT_TRUE(failed.judgedByReport());
    EXPECT_EQ(test::Reading(failed, "3.ad.3"), 61);
    EXPECT_EQ(test::Reading(failed, "2.paper_out.left"), 32);

    const std::string csv = Csv(all);
    const std::string row = csv.substr(csv.find("\r\n") + 2);
    EXPECT_EQ(row.find(",,," + std::string(kLimitsRevision) + ",report,2025-12-01T12:04:54"), 0u)
        << row.substr(0, 200);
    EXPECT_NE(
        row.find(",3,Adjustment error of white reference paper !,3.ad.3 Front Red 61 (62-92),"),
        std::string::npos)
        << row.substr(0, 400);
    EXPECT_EQ(row.find("6.ad.29"), std::string::npos);  // 178 is outside, but never judged

    EXPECT_EQ(all.figures.formatOne, 2);
    const std::size_t magAd = FindJudgedValue(6, "ad", 29) - kJudgedValues.data();
    EXPECT_EQ(all.figures.capability[magAd].outsideShare, 1.0);
    EXPECT_FALSE(all.figures.capability[magAd].judged);
    const std::string summary = records::SummaryText(all.figures, all.tally, "f");
    EXPECT_NE(summary.find("2 runs of format 1 judged by the report against limits " +
                           std::string(kLimitsRevision)),
              std::string::npos)
        << summary;
    const std::string page = records::HtmlPage(all.figures, all.tally, "f");
    EXPECT_NE(page.find("2 runs of format 1: judged by the report against limits"),
              std::string::npos);
    EXPECT_NE(page.find("<td>Mag A/D (not judged)</td>"), std::string::npos);
}

TEST(RecordReport, YieldByUnitAndCapabilityMatchFiguresWorkedOutByHand) {
    TemporaryDirectory dir;
    int n = 0;
    const auto run = [&](const std::string& start, const std::string& unit, int speed,
                         const char* outcome = "complete", const std::string& station = "bench-1") {
        Json r = Record("bbbbbbbb-0000-4000-8000-" + std::to_string(100000000000 + ++n),
                        "2026-02-01T" + start + ":00.000+09:00", unit, station);
        if (std::string(outcome) == "failed") r = Failed(r, 7, "XXX  Motor speed error !  XXX");
        if (std::string(outcome) == "cancelled") r["outcome"] = "cancelled";
        if (std::string(outcome) == "comm") {
            r = Failed(r, 7, "Communication error", "communication error");
        }
        if (speed >= 0) r["items"] = Json::array({SpeedItem(speed)});
        return r.dump();
    };
    // Unit A: its complete retest is written first, but its failed run
    // started earlier: the first run is the failure. Unit C's communication
    // error is no verdict on it. Unit D fails twice.
    Write(dir, "zul10-2026-02-01-bench-1.jsonl",
          {run("10:00", "A", 100), run("09:00", "A", 125, "failed"), run("09:10", "B", 104),
           run("09:20", "C", -1, "comm"), run("09:30", "C", 108), run("09:40", "", 112)});
    Write(dir, "zul10-2026-02-01-bench-2.jsonl",
          {run("09:00", "D", 80, "failed", "bench-2"), run("09:30", "D", 130, "failed", "bench-2"),
           run("10:00", "", -1, "cancelled", "bench-2")});
    const ReadBack all = ReadRecords(dir.path().string());
    ASSERT_EQ(all.runs.size(), 9u) << all.errors;
    const records::Figures::Units& u = all.figures.units;
    EXPECT_EQ(u.units, 4);
    EXPECT_EQ(u.judged, 4);
    EXPECT_EQ(u.firstPass, 2);  // B and C
    EXPECT_EQ(u.finalPass, 3);  // A, B and C
    EXPECT_EQ(u.runsWithoutUnit, 2);
    EXPECT_EQ(u.byRuns[0], 1);
    EXPECT_EQ(u.byRuns[1], 3);
    ASSERT_EQ(u.most.size(), 3u);
    EXPECT_EQ(u.most[0].runs, 2u);
    EXPECT_EQ(all.figures.all.complete, 4);
    EXPECT_EQ(all.figures.all.failed, 3);
    EXPECT_EQ(all.figures.all.communication, 1);
    EXPECT_EQ(all.figures.all.Stopped(), 1);

    const auto stations = all.figures.StationsByRuns();
    ASSERT_EQ(stations.size(), 2u);
    EXPECT_EQ(stations[0].first, "bench-1");
    EXPECT_EQ(stations[0].second->counts.runs, 6);
    EXPECT_EQ(stations[0].second->units, 3);
    EXPECT_EQ(stations[0].second->firstPass, 2);  // B and C of A, B, C
    EXPECT_EQ(stations[1].second->units, 1);
    EXPECT_EQ(stations[1].second->firstPass, 0);

    // The motor speed, by the textbook's two passes.
    const std::vector<double> speeds = {100, 125, 104, 108, 112, 80, 130};
    double mean = 0, ss = 0;
    for (double s : speeds) mean += s / speeds.size();
    for (double s : speeds) ss += (s - mean) * (s - mean);
    const double sd = std::sqrt(ss / (speeds.size() - 1));
    const std::size_t speed = FindJudgedValue(7, "speed", -1) - kJudgedValues.data();
    const records::Capability& c = all.figures.capability[speed];
    EXPECT_EQ(c.n, speeds.size());
    EXPECT_NEAR(c.mean, mean, 1e-9);
    ASSERT_TRUE(c.sd.has_value());
    EXPECT_NEAR(*c.sd, sd, 1e-9);
    ASSERT_TRUE(c.cp && c.cpk);
    EXPECT_NEAR(*c.cp, (121 - 89) / (6 * sd), 1e-9);
    EXPECT_NEAR(*c.cpk, std::min(121 - mean, mean - 89) / (3 * sd), 1e-9);
    EXPECT_NEAR(c.outsideShare, 3.0 / 7, 1e-12);  // 125, 80 and 130
    EXPECT_EQ(c.min, 80);
    EXPECT_EQ(c.max, 130);
    EXPECT_EQ(all.figures.closestFirst.front(), speed);  // the only value outside

    const std::string summary = records::SummaryText(all.figures, all.tally, "f");
    EXPECT_NE(summary.find("First-pass yield       50.0 % (2 of 4 units"), std::string::npos)
        << summary;
    EXPECT_NE(summary.find("Final yield            75.0 % (3 of 4 units"), std::string::npos);
    EXPECT_NE(summary.find("Retests per unit       0.75"), std::string::npos);
    const std::string page = records::HtmlPage(all.figures, all.tally, "f");
    for (const std::string& text : {summary, page}) {
        EXPECT_EQ(text.find("nan"), std::string::npos);
        EXPECT_EQ(text.find("inf"), std::string::npos);
    }
    EXPECT_NE(page.find("aria-label=\"7.speed histogram\""), std::string::npos);
    EXPECT_NE(page.find("aria-label=\"7.speed run chart by day\""), std::string::npos);
    EXPECT_NE(page.find("<h2>Yield by unit</h2>"), std::string::npos);
}

TEST(RecordReport, LinesAcrossTheReadersChunksAndLineEndsAllCount) {
    // Records of many sizes, some far longer than a read of 256 KiB, with
    // CR LF and LF ends and blank lines between: every record read once,
    // and the line numbers of what is named still right behind them.
    TemporaryDirectory dir;
    std::string text;
    int expected = 0, lineNumber = 0;
    for (int i = 0; i < 60; ++i) {
        Json r = Record("abababab-0000-4000-8000-" + std::to_string(100000000000 + i),
                        "2026-04-01T08:00:00.000+09:00");
        r["pad"] = std::string(static_cast<size_t>(i * 7919 % 20) * 37000, 'p');
        text += r.dump() + (i % 3 == 0 ? "\r\n" : "\n");
        ++expected;
        ++lineNumber;
        if (i % 7 == 0) {
            text += "\n   \n";
            lineNumber += 2;
        }
    }
    text += "{\"torn\":\n";
    test::WriteFile(dir.File("zul10-2026-04-01.jsonl"), text);
    const ReadBack all = ReadRecords(dir.path().string());
    EXPECT_EQ(all.runs.size(), static_cast<size_t>(expected));
    EXPECT_EQ(all.tally.badLines, 1);
    EXPECT_NE(all.errors.find("zul10-2026-04-01.jsonl:" + std::to_string(lineNumber + 1) +
                              ": torn or not JSON"),
              std::string::npos)
        << all.errors;
}

TEST(RecordReport, RunsAreOrderedByTheirMomentAcrossOffsetsAndCountedPerDay) {
    TemporaryDirectory dir;
    const auto run = [](int n, const std::string& start, int speed, bool failed) {
        Json r = Record("cdcdcdcd-0000-4000-8000-00000000000" + std::to_string(n), start, "U1");
        r["items"] = Json::array({SpeedItem(speed)});
        if (failed) r = Failed(r, 7, "XXX  Motor speed error !  XXX");
        return r.dump();
    };
    // 09:30+09:00 is 00:30 UTC: before 01:00 UTC, though written later
    // and with the larger local time.
    Write(dir, "zul10-2026-05-01.jsonl",
          {run(1, "2026-05-01T01:00:00.000Z", 100, false),
           run(2, "2026-05-01T09:30:00.000+09:00", 130, true),
           run(3, "2026-05-01T03:00:00.000+02:00", 104, false)});
    Write(dir, "zul10-2026-05-02.jsonl",
          {run(4, "2026-05-02T08:00:00.000+09:00", 110, false),
           run(5, "2026-05-02T09:00:00.000+09:00", 112, false)});
    const ReadBack all = ReadRecords(dir.path().string());
    ASSERT_EQ(all.runs.size(), 5u) << all.errors;
    EXPECT_EQ(all.figures.units.firstPass, 0);  // the failure at 00:30 UTC came first
    EXPECT_EQ(all.figures.units.finalPass, 1);
    // The run chart's days: each day's own mean and spread.
    const std::size_t speed = FindJudgedValue(7, "speed", -1) - kJudgedValues.data();
    ASSERT_EQ(all.figures.days.size(), 2u);
    const records::Moments& first = all.figures.days.at("2026-05-01").values[speed];
    const records::Moments& second = all.figures.days.at("2026-05-02").values[speed];
    EXPECT_EQ(first.n, 3u);
    EXPECT_NEAR(first.Mean(), (100 + 130 + 104) / 3.0, 1e-9);
    EXPECT_EQ(second.n, 2u);
    EXPECT_NEAR(second.Mean(), 111, 1e-9);
    EXPECT_NEAR(*second.Sd(), std::sqrt(2.0), 1e-9);
}

TEST(RecordReport, ASecondFormatRecordKeepsTheLimitsAndVerdictsItWasJudgedBy) {
    // Judged at the bench against other limits (a lower bound of 70): the
    // report shows the record's own verdict and limits, and judges only its
    // capability against the program's.
    TemporaryDirectory dir;
    Json r = Failed(Record("efefefef-0000-4000-8000-000000000001", "2026-06-01T08:00:00+09:00"), 3,
                    "XXXXXX  Adjustment error of white reference paper !  XXXXXX");
    r["limits"] = "0badf00d";
    r["items"] = Json::array({{{"item", 3},
                               {"title", "White level adjustment"},
                               {"verdict", "fail"},
                               {"measured", {{"ad", {77, 77, 77, 65}}}},
                               {"values",
                                {{{"name", "ad"},
                                  {"slot", 3},
                                  {"label", "Front Red"},
                                  {"value", 65},
                                  {"lower", 70},
                                  {"upper", 92},
                                  {"verdict", "fail"}}}},
                               {"eeprom_written", false}}});
    Write(dir, "zul10-2026-06-01.jsonl", {r.dump()});
    const ReadBack all = ReadRecords(dir.path().string());
    ASSERT_EQ(all.runs.size(), 1u) << all.errors;
    // Only the judged values count as readings: measured "ad" is the same
    // reading, kept under its old name.
    EXPECT_EQ(test::Reading(all.runs[0], "3.ad.0"), -1);
    const std::string csv = Csv(all);
    EXPECT_NE(csv.find(",0badf00d,program,"), std::string::npos);
    EXPECT_NE(csv.find(",3.ad.3 Front Red 65 (70-92),"), std::string::npos) << csv;
    const std::size_t slot3 = FindJudgedValue(3, "ad", 3) - kJudgedValues.data();
    EXPECT_EQ(all.figures.capability[slot3].outsideShare, 0.0);  // 65 is within 62-92
    EXPECT_NE(records::SummaryText(all.figures, all.tally, "f")
                  .find("1 run judged at the bench against other limits (0badf00d)"),
              std::string::npos);
}

TEST(RecordReport, OneSidedAndSpreadlessValuesGiveNoFigureThatCannotBe) {
    // White D/A of slot 0: at least 30, upper bound 255 cannot fail.
    const JudgedValue& da = *FindJudgedValue(3, "da", 0);
    records::ValueTally t;
    for (uint8_t v : {100, 110, 120}) t.Add(v, da);
    records::Capability c = records::CapabilityOf(t, da);
    EXPECT_FALSE(c.cp.has_value());
    ASSERT_TRUE(c.cpk.has_value());
    EXPECT_NEAR(*c.cpk, (110.0 - 30) / (3 * 10.0), 1e-9);
    // The same reading every time, and a single reading: no spread, no Cp
    // or Cpk, printed "-".
    records::ValueTally same, one;
    for (int i = 0; i < 5; ++i) same.Add(105, *FindJudgedValue(7, "speed", -1));
    one.Add(105, *FindJudgedValue(7, "speed", -1));
    for (const records::ValueTally* tally : {&same, &one}) {
        c = records::CapabilityOf(*tally, *FindJudgedValue(7, "speed", -1));
        EXPECT_FALSE(c.cp.has_value());
        EXPECT_FALSE(c.cpk.has_value());
    }
}

TEST(RecordReport, TheWritersEscapeEveryPieceOfData) {
    std::string page;
    records::HtmlWriter html(page);
    html.Element("td", {{"title", "a\"b'c<d>&"}}, "<a href='x'>&amp;</a>");
    EXPECT_EQ(page,
              "<td title=\"a&quot;b&#39;c&lt;d&gt;&amp;\">&lt;a href=&#39;x&#39;&gt;&amp;amp;&lt;/"
              "a&gt;</td>");
    std::string csv;
    records::CsvWriter cells(csv);
    for (const char* text : {"=1+1", "+1", "-1", "@A1", "\t=1", "\r=1", "plain", "a,b", "a\"b"}) {
        cells.Text(text);
    }
    cells.Number(-5);
    cells.EndRow();
    EXPECT_EQ(csv,
              "'=1+1,'+1,'-1,'@A1,'\xEF\xBF\xBD=1,'\xEF\xBF\xBD=1,plain,\"a,b\",\"a\"\"b\",-5\r\n");
}

TEST(RecordReport, FoldersNamedLikeRecordFilesAreSkippedOnBothPlatforms) {
    // Links and devices are made only on POSIX below: Wine's
    // CreateSymbolicLinkW answers success and makes nothing.
    TemporaryDirectory dir;
    std::filesystem::create_directory(dir.File("zul10-x.jsonl"));
    std::filesystem::create_directory(dir.File("zul10-2026-01-05.jsonl"));
    Write(dir, "zul10-2026-01-04.jsonl",
          {Record("cccccccc-0000-4000-8000-000000000002", "2026-01-04T08:00:00+09:00").dump()});
    const ReadBack all = ReadRecords(dir.path().string());
    EXPECT_EQ(all.runs.size(), 1u) << all.errors;
    EXPECT_EQ(all.tally.skippedEntries, 2) << all.errors;
    EXPECT_FALSE(all.tally.readError);
    EXPECT_NE(all.errors.find("zul10-x.jsonl: a folder, not a file: skipped"), std::string::npos)
        << all.errors;
    EXPECT_NE(all.errors.find("zul10-2026-01-05.jsonl: a folder"), std::string::npos) << all.errors;
}

TEST(RecordReport, BoundedTablesCountWhatTheyCannotKeep) {
    // Units: the table keeps its maximum, and counts the rest as runs; the
    // unit retested most is found among them however late its runs come.
    records::UnitTable units;
    const std::size_t n = records::UnitTable::kMaxUnits + 5;
    for (std::size_t i = 0; i < n; ++i) {
        units.Add("SN" + std::to_string(i), static_cast<int64_t>(i), 1, true, true);
        if (i % 100000 == 7) units.Add("SN7", static_cast<int64_t>(i) + 1, 1, true, i > 200000);
    }
    EXPECT_EQ(units.size(), records::UnitTable::kMaxUnits);
    EXPECT_EQ(units.untracked(), 5);
    const auto most = units.MostRuns();
    ASSERT_FALSE(most.empty());
    EXPECT_EQ(most[0].first.serial, "SN7");
    EXPECT_EQ(most[0].first.runs, 1 + n / 100000 + (n % 100000 > 7 ? 1 : 0));
    EXPECT_TRUE(most[0].second.firstComplete());  // its first run, at 7, completed
    EXPECT_TRUE(most[0].second.lastComplete());
    // Names: kept up to the maximum, the rest counted as others.
    records::BoundedTally<int64_t> causes(3);
    for (const char* cause : {"a", "b", "c", "d", "a", "e"}) ++causes[cause];
    EXPECT_EQ(causes.names().size(), 3u);
    EXPECT_EQ(causes.names().at("a"), 2);
    EXPECT_EQ(causes.others(), 2);
    EXPECT_TRUE(causes.overflowed());
}

#ifndef _WIN32
// Runs the command with its outputs into files of dir; the exit code.
int Command(const TemporaryDirectory& dir, std::vector<std::string> args) {
    const pid_t child = fork();
    if (child == 0) {
        const int out = open(dir.File("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(dir.File("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out, 1);
        dup2(err, 2);
        alarm(20);  // a command that blocks fails
        args.insert(args.begin(), "zul10-records");
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        _exit(records::ReportCommand(static_cast<int>(args.size()), argv.data()));
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(RecordReport, UsageNamesEveryCommandOfTheTool) {
    TemporaryDirectory dir;
    EXPECT_EQ(Command(dir, {}), 2);
    const std::string usage = test::ReadFile(dir.File("err"));
    for (const char* command : {"records summary ", "records csv ", "records html ",
                                "records forward ", "records db init|migrate "}) {
        EXPECT_NE(usage.find(command), std::string::npos) << command << " in\n" << usage;
    }
}

TEST(RecordReport, EntriesThatAreNoRegularFileAreNamedSkippedAndNeverWaitedOn) {
    TemporaryDirectory dir, out;
    const std::string folder = dir.File("records");
    std::filesystem::create_directory(folder);
    const auto in = [&](const std::string& name) { return folder + "/" + name; };
    ASSERT_EQ(mkfifo(in("zul10-2026-01-01.jsonl").c_str(), 0644), 0);
    ASSERT_EQ(symlink("/dev/zero", in("zul10-2026-01-02.jsonl").c_str()), 0);
    std::filesystem::create_directory(in("zul10-x.jsonl"));
    ASSERT_EQ(symlink("zul10-2026-01-04.jsonl", in("zul10-2026-01-03.jsonl").c_str()), 0);
    test::WriteFile(
        in("zul10-2026-01-04.jsonl"),
        Record("cccccccc-0000-4000-8000-000000000001", "2026-01-04T08:00:00+09:00").dump() + "\n");
    // A file whose name carries an escape sequence is named harmlessly.
    test::WriteFile(in("zul10-2026-01-05-\x1b[31m.jsonl"), "not json\n");
    // Every command, each within the alarm: FIFO and /dev/zero never read.
    for (const char* command : {"summary", "csv", "html"}) {
        std::vector<std::string> args = {command, folder};
        if (std::string(command) == "html") args.insert(args.end(), {"-o", out.File("r.html")});
        EXPECT_EQ(Command(out, args), 0) << command;
        const std::string err = test::ReadFile(out.File("err"));
        for (const char* named :
             {"zul10-2026-01-01.jsonl: a FIFO, not a file: skipped",
              "zul10-2026-01-02.jsonl: a symbolic link, not a file: skipped",
              "zul10-2026-01-03.jsonl: a symbolic link, not a file: skipped",
              "zul10-x.jsonl: a folder, not a file: skipped",
              "zul10-2026-01-05-\xEF\xBF\xBD[31m.jsonl:1: torn or not JSON, skipped"}) {
            EXPECT_NE(err.find(named), std::string::npos) << command << ": " << named << "\n"
                                                          << err;
        }
        EXPECT_FALSE(HasControl(err, true)) << err;
        if (std::string(command) == "summary") {
            EXPECT_NE(test::ReadFile(out.File("out")).find("1 run in 2 files"), std::string::npos);
        }
    }
}

TEST(RecordReport, DatesOpenOnlyTheFilesOfTheirDays) {
    TemporaryDirectory dir, out;
    for (int d = 1; d <= 5; ++d) {
        const std::string date = "2026-03-0" + std::to_string(d);
        Write(dir, "zul10-" + date + "-bench%2F1.jsonl",
              {Record("dddddddd-0000-4000-8000-00000000000" + std::to_string(d),
                      date + "T08:00:00.000+09:00")
                   .dump()});
    }
    // Inside a file of its range, a run of another day is still dropped.
    Write(dir, "zul10-2026-03-03.jsonl",
          {Record("dddddddd-0000-4000-8000-000000000009", "2026-03-09T08:00:00.000+09:00").dump()});
    // Outside the range, hostile entries are never looked at.
    ASSERT_EQ(mkfifo(dir.File("zul10-2026-04-01.jsonl").c_str(), 0644), 0);
    ASSERT_EQ(symlink("/dev/zero", dir.File("zul10-2026-02-28.jsonl").c_str()), 0);
    std::filesystem::create_directory(dir.File("zul10-x.jsonl"));
    const ReadBack all = ReadRecords(dir.path().string(), {"2026-03-02", "2026-03-04"});
    EXPECT_EQ(all.tally.files, 4);
    EXPECT_EQ(all.runs.size(), 3u);
    EXPECT_EQ(all.tally.outOfRange, 1);
    EXPECT_EQ(all.tally.skippedEntries, 0);
    EXPECT_TRUE(all.errors.empty()) << all.errors;
    EXPECT_EQ(Command(out, {"summary", dir.path().string(), "--from", "2026-03-05"}), 0);
    EXPECT_NE(test::ReadFile(out.File("out")).find("1 run in 1 file, 2026-03-05 to 2026-03-05"),
              std::string::npos)
        << test::ReadFile(out.File("out"));
}

TEST(RecordReport, AFileThatCannotBeReadIsNamedAndTheExitCodeSaysSo) {
    TemporaryDirectory dir, out;
    Write(dir, "zul10-2026-01-01.jsonl",
          {Record("eeeeeeee-0000-4000-8000-000000000001", "2026-01-01T08:00:00+09:00").dump()});
    Write(dir, "zul10-2026-01-02.jsonl",
          {Record("eeeeeeee-0000-4000-8000-000000000002", "2026-01-02T08:00:00+09:00").dump()});
    ASSERT_EQ(chmod(dir.File("zul10-2026-01-01.jsonl").c_str(), 0), 0);
    chmod(dir.path().c_str(), 0755);
    chmod(out.path().c_str(), 0777);
    EXPECT_TRUE(test::AsUnprivilegedUser([&] {
        const int code = Command(out, {"summary", dir.path().string()});
        const std::string err = test::ReadFile(out.File("err"));
        return code == 1 &&
               err.find("zul10-2026-01-01.jsonl: cannot be opened (Permission denied)") !=
                   std::string::npos &&
               test::ReadFile(out.File("out")).find("1 run in 1 file") != std::string::npos;
    }));
    // A folder that cannot be listed at all.
    EXPECT_EQ(Command(out, {"csv", dir.File("missing")}), 1);
    EXPECT_NE(test::ReadFile(out.File("err")).find("cannot read"), std::string::npos);
}

TEST(RecordReport, CsvStreamsInFixedColumnsAndExcelGetsItsByteOrderMark) {
    TemporaryDirectory dir, out;
    Write(dir, "zul10-2026-01-01.jsonl",
          {Record("ffffffff-0000-4000-8000-000000000001", "2026-01-01T08:00:00+09:00").dump()});
    ASSERT_EQ(Command(out, {"csv", dir.path().string(), "--excel"}), 0);
    const std::string csv = test::ReadFile(out.File("out"));
    ASSERT_EQ(csv.rfind(records::CsvWriter::kByteOrderMark, 0), 0u);
    const std::string header = csv.substr(3, csv.find("\r\n") - 3);
    EXPECT_EQ(header.rfind("run_id,station,unit,limits,judged_by,start,end,seconds,", 0), 0u);
    EXPECT_NE(header.find(",item7,2.paper_in.back,"), std::string::npos);
    EXPECT_NE(header.find(",3.da.0,"), std::string::npos);
    EXPECT_NE(header.find(",4.ad.14,"), std::string::npos);
    EXPECT_NE(header.find(",7.speed,3.registers.0,"), std::string::npos);
    EXPECT_NE(header.find(",6.peak_held,3.eeprom_written,"), std::string::npos);
    const size_t columns = std::count(header.begin(), header.end(), ',') + 1;
    EXPECT_EQ(columns, 20 + 7 + records::kValueCount + records::kExtraColumns + 5);
    const std::string row = csv.substr(csv.find("\r\n") + 2);
    EXPECT_EQ(static_cast<size_t>(std::count(row.begin(), row.end(), ',')) + 1, columns);
}
#endif

}  // namespace
}  // namespace zul
