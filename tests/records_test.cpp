// The run records: one record per run of every outcome with what the items
// measured, records that survive a torn line and a second writer, a folder
// that takes none, and the yield report over many hostile runs.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "mock/HostilePlan.h"
#include "mock/ItemBench.h"
#include "mock/ReadRecords.h"
#include "mock/RecordedBench.h"
#include "mock/RecordingMessageSink.h"
#include "mock/TemporaryDirectory.h"
#include "mock/WizardRun.h"
#include "records/CsvReport.h"
#include "records/HtmlReport.h"
#include "records/RunLog.h"
#include "records/Spool.h"
#include "records/SummaryText.h"
#include "serial/FileStore.h"

namespace zul {
namespace {

using Json = nlohmann::json;
using test::TemporaryDirectory;
using test::WizardRunBench;

std::vector<std::string> FileLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

using test::RecordedBench;

Json LastRecord(const RunLog& log) {
    const std::vector<std::string> lines = FileLines(log.FileFor(std::chrono::system_clock::now()));
    EXPECT_FALSE(lines.empty());
    return lines.empty() ? Json() : Json::parse(lines.back());
}

TEST(RunRecords, EveryOutcomeGivesItsRecord) {
    TemporaryDirectory dir;
    const std::string folder = dir.File("records/bench 1");  // made on demand

    {  // complete: every item with its readings, every EEPROM write done
        RecordedBench b(sim::Profile{}, folder);
        b.ClickTo(9);
        b.recorded.TimerTick();
        b.ClickTo(11);
        ASSERT_EQ(b.recorded.AdjStep(), 11);
        const Json r = LastRecord(b.log);
        EXPECT_EQ(r["outcome"], "complete");
        EXPECT_EQ(r["port"], "COM1");
        EXPECT_EQ(r["line"], "9600 8E1");
        EXPECT_EQ(r["version"], "1.01-01");
        EXPECT_FALSE(r.contains("cause"));
        EXPECT_EQ(r["exchanges"], b.link.exchanges());
        EXPECT_EQ(r["retries"], 0);
        EXPECT_EQ(r["seconds"], 12.0);  // the twelve waits of 1000 ms on the bench's clock
        ASSERT_EQ(r["items"].size(), 7u);
        for (int i = 0; i < 7; ++i) {
            EXPECT_EQ(r["items"][i]["item"], i + 1);
            EXPECT_EQ(r["items"][i]["verdict"], "pass");
            if (i >= 2) {
                EXPECT_EQ(r["items"][i]["eeprom_written"], true) << i;
            }
        }
        const Json& lever = r["items"][1]["measured"];
        EXPECT_EQ(lever["paper_in"], Json({1, 0xC0, 0xC0}));
        EXPECT_EQ(lever["paper_out"], Json({0, 0x20, 0x20}));
        const Json& white = r["items"][2]["measured"];
        EXPECT_EQ(white["ad"][6], 180);
        EXPECT_EQ(white["da"][13], 128);
        EXPECT_EQ(white["registers"], Json({0x55, 0x55, 0x05, 0x05, 0x40, 0x40, 0x40, 0x40}));
        EXPECT_EQ(white["reg"][0], 5);  // bits 3-0 of 0x55
        EXPECT_EQ(r["items"][3]["measured"]["ad"], Json({50, 50, 50, 50}));
        EXPECT_EQ(r["items"][4]["measured"]["ad"].size(), 10u);
        EXPECT_EQ(r["items"][5]["measured"], Json({{"peak", 58}, {"ad", 58}, {"peak_held", 58}}));
        EXPECT_EQ(r["items"][6]["measured"]["speed"], 105);
        EXPECT_TRUE(b.messages.boxes.empty());
    }
    {  // a failed item: its banner, its report and its readings, no write
        sim::Profile profile;
        profile.whiteResult[3] = 61;
        RecordedBench b(profile, folder);
        b.ClickTo(-1);
        const Json r = LastRecord(b.log);
        EXPECT_EQ(r["outcome"], "failed");
        EXPECT_EQ(r["failed_item"], 3);
        EXPECT_EQ(r["cause"], "XXXXXX  Adjustment error of white reference paper !  XXXXXX");
        ASSERT_EQ(r["items"].size(), 3u);
        const Json& white = r["items"][2];
        EXPECT_EQ(white["verdict"], "fail");
        EXPECT_EQ(white["eeprom_written"], false);
        EXPECT_EQ(white["measured"]["ad"][3], 61);
        EXPECT_EQ(white["report"][0], "*** 3.White level adjustment ***");
        EXPECT_EQ(white["report"][1], r["cause"]);
        EXPECT_EQ(white["report"].back(), " 1. Front Red   (128p) ( 61p) ( 5) ");
        b.recorded.ExitClick();  // Cancel after a failure: no second record
    }
    {  // a silent unit: a communication error after four attempts
        RecordedBench b(test::WithFault(0xB6, test::Silent()), folder);
        b.recorded.StartClick();
        const Json r = LastRecord(b.log);
        EXPECT_EQ(r["outcome"], "communication error");
        EXPECT_EQ(r["cause"], "Communication error");
        EXPECT_EQ(r["exchanges"], 1);
        EXPECT_EQ(r["retries"], 3);
        EXPECT_EQ(r["items"][0]["report"].back(), "Communication error");
    }
    {  // Cancel between items: the items passed so far
        RecordedBench b(sim::Profile{}, folder);
        b.ClickTo(5);
        b.recorded.ExitClick();
        const Json r = LastRecord(b.log);
        EXPECT_EQ(r["outcome"], "cancelled");
        ASSERT_EQ(r["items"].size(), 3u);
        EXPECT_EQ(r["items"][2]["verdict"], "pass");
    }
    {  // the window closed during the mag live display
        RecordedBench b(sim::Profile{}, folder);
        b.ClickTo(9);
        b.recorded.WindowClosing();
        b.recorded.WindowClosing();  // once only
        const Json r = LastRecord(b.log);
        EXPECT_EQ(r["outcome"], "closed");
        EXPECT_EQ(r["items"].back()["item"], 6);
        EXPECT_EQ(r["items"].back()["verdict"], "unfinished");
    }
    const test::ReadBack all = test::ReadRecords(folder);
    ASSERT_TRUE(all.ok);
    EXPECT_EQ(all.runs.size(), 5u);
    EXPECT_EQ(all.tally.badLines, 0) << all.errors;
    const records::Figures& f = all.figures;
    EXPECT_EQ(f.all.complete, 1);
    EXPECT_EQ(f.cancelled, 1);
    EXPECT_EQ(f.closed, 1);
    EXPECT_EQ(f.communicationByItem[0], 1);  // counted apart from the unit's failures
    EXPECT_EQ(f.failedByItem[0], 0);
    EXPECT_EQ(f.failedByItem[2], 1);
}

TEST(RunRecords, ABrokenLineSpoilsNoOtherRecord) {
    TemporaryDirectory dir;
    RecordedBench b(sim::Profile{}, dir.path().string());
    const std::string file = b.log.FileFor(std::chrono::system_clock::now());
    {
        std::ofstream out(file, std::ios::binary);
        out << "{\"hello\":1}\n"  // another program's
            << R"({"format":3,"program":"zul10","start":"2030-01-01"})"
               "\n"  // a newer version
            << R"({"format":1,"program":"zul10","outcome":"complete","start":"2026-01-02T08:00:00.000+00:00","new":1})"
               "\n"
            << R"({"format":1,"program":"zul10","outcome":"comp)";  // cut off by a crash
    }
    b.ClickTo(5);
    b.recorded.ExitClick();  // the record goes behind the cut-off line

    const test::ReadBack all = test::ReadRecords(dir.path().string());
    ASSERT_EQ(all.runs.size(), 2u);
    EXPECT_EQ(all.runs[1].outcome, records::Outcome::Cancelled);
    EXPECT_EQ(all.runs[1].items[2], records::Verdict::Pass);
    EXPECT_EQ(all.tally.badLines, 3);
    const std::string& named = all.errors;
    const std::string name = std::filesystem::path(file).filename().string();
    EXPECT_NE(named.find(name + ":1: not a ZUL10 record"), std::string::npos) << named;
    EXPECT_NE(named.find(name + ":2: written by a newer version (format 3)"), std::string::npos);
    EXPECT_NE(named.find(name + ":3: unknown field \"new\" ignored"), std::string::npos);
    EXPECT_NE(named.find(name + ":4: torn or not JSON"), std::string::npos);
}

TEST(RunRecords, AFolderThatTakesNoRecordIsShownAndTheRunsGoOn) {
    TemporaryDirectory dir;
    std::ofstream(dir.File("plain-file")) << "x";
    const std::string folder = dir.File("plain-file/records");  // below a file: never a folder
    RecordedBench b(sim::Profile{}, folder);
    EXPECT_FALSE(b.log.CheckFolder());
    ASSERT_EQ(b.messages.boxes.size(), 1u);
    EXPECT_EQ(b.messages.boxes[0].caption, RunLog::kCaption);
    EXPECT_NE(b.messages.boxes[0].text.find(folder), std::string::npos);

    b.ClickTo(5);
    b.recorded.ExitClick();
    EXPECT_EQ(b.recorded.AdjStep(), 0);
    ASSERT_EQ(b.messages.boxes.size(), 2u);  // the lost record is never silent
    EXPECT_NE(b.messages.boxes[1].text.find(b.log.FileFor(std::chrono::system_clock::now())),
              std::string::npos);
}

TEST(RunRecords, TwoWritersNeverMixTheirRecords) {
    // Through the spool's writer, which the program uses, and AppendRecord.
    using Append = std::function<bool(const std::string& folder, const std::string& record,
                                      std::string& error)>;
    const Append spool = [](const std::string& folder, const std::string& record,
                            std::string& error) {
        return records::Spool(folder).Append("2026-01-01", record, error);
    };
    const Append appendRecord = [](const std::string& folder, const std::string& record,
                                   std::string& error) {
        return AppendRecord(folder + "/zul10-2026-01-01.jsonl", record, error);
    };
    for (const Append& append : {spool, appendRecord}) {
        TemporaryDirectory dir;
        const std::string file = dir.File("zul10-2026-01-01.jsonl");
        constexpr int kEach = 200;
        // Records of many sizes, some longer than a page, each naming its writer.
        const auto writer = [&](char who) {
            for (int i = 0; i < kEach; ++i) {
                const Json record = {{"who", std::string(1, who)},
                                     {"n", i},
                                     {"pad", std::string(static_cast<size_t>(i * 37 % 9000), who)}};
                std::string error;
                EXPECT_TRUE(append(dir.path().string(), record.dump() + "\n", error)) << error;
            }
        };
        std::thread a(writer, 'a');
        std::thread b(writer, 'b');
        a.join();
        b.join();
        std::map<std::string, int> next;
        const std::vector<std::string> lines = FileLines(file);
        ASSERT_EQ(lines.size(), 2u * kEach);
        for (const std::string& line : lines) {
            const Json record = Json::parse(line, nullptr, false);
            ASSERT_FALSE(record.is_discarded()) << line.substr(0, 80);
            const std::string who = record["who"];
            EXPECT_EQ(record["n"], next[who]++);  // each writer's records whole and in order
            EXPECT_EQ(record["pad"].get<std::string>().find_first_not_of(who), std::string::npos);
        }
    }
}

TEST(RunRecords, TheReportCountsHostileRunsAsTheyEnded) {
    TemporaryDirectory dir;
    test::HostilePlanner planner(20240611u);
    int complete = 0;
    std::array<int, 7> failedByItem{};
    constexpr int kRuns = 150;
    for (int i = 0; i < kRuns; ++i) {
        const test::HostilePlan plan = planner.Next();
        RecordedBench b(plan.profile, dir.path().string());
        for (int guard = 0; guard < 20; ++guard) {
            if (b.recorded.AdjStep() == 9) {
                for (test::MagAction action : plan.magActions) {
                    if (b.recorded.AdjStep() != 9) break;
                    action == test::MagAction::Tick ? b.recorded.TimerTick()
                                                    : b.recorded.ClearClick();
                }
                if (b.recorded.AdjStep() == -1) {
                    ++failedByItem[5];
                    break;
                }
            }
            const int16_t step = b.recorded.AdjStep();
            if (step == -1 || step == 11) break;
            b.recorded.StartClick();
            if (b.recorded.AdjStep() == -1) {
                constexpr int kItemOfStep[] = {1, 0, 2, 2, 3, 0, 4, 5, 6, 6, 7};
                ++failedByItem[static_cast<size_t>(kItemOfStep[step] - 1)];
            }
        }
        if (b.recorded.AdjStep() == 11) ++complete;
    }
    const test::ReadBack all = test::ReadRecords(dir.path().string());
    EXPECT_EQ(all.tally.badLines, 0) << all.errors;
    ASSERT_EQ(all.runs.size(), static_cast<size_t>(kRuns));
    const records::Figures& f = all.figures;
    EXPECT_EQ(f.all.complete, complete);
    EXPECT_GT(complete, 0);
    int failures = 0;
    for (size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(f.failedByItem[i] + f.communicationByItem[i], failedByItem[i])
            << "item " << i + 1;
        failures += failedByItem[i];
    }
    int64_t byCause = 0;
    for (const auto& [cause, count] : f.CausesByCount()) byCause += count;
    EXPECT_EQ(byCause + f.all.communication, failures);
    EXPECT_EQ(complete + failures, kRuns);

    std::string csv;
    records::csv_report::Header(csv);
    for (const records::RunRecord& run : all.runs) records::csv_report::Row(run, csv);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), kRuns + 1);
    const std::string page = records::HtmlPage(f, all.tally, "bench");
    EXPECT_EQ(page.find("<script"), std::string::npos);
    EXPECT_EQ(page.find("http://"), page.find("http://www.w3.org/2000/svg"));  // no link out
    EXPECT_NE(page.find("aria-label=\"Yield per day\""), std::string::npos);
    EXPECT_NE(page.find("aria-label=\"Failure causes, Pareto chart\""), std::string::npos);
    const std::string summary = records::SummaryText(f, all.tally, "bench");
    EXPECT_NE(summary.find("All" + std::string(4, ' ')), std::string::npos) << summary;
}

}  // namespace
}  // namespace zul
