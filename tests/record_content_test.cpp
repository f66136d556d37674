// What a run's record says: which run, which station and unit, which limits,
// and every judged value beside its limits with its own verdict.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <vector>

#include "adjust/JudgedValues.h"
#include "mock/RecordingMessageSink.h"
#include "mock/TemporaryDirectory.h"
#include "mock/WizardRun.h"
#include "records/RunLog.h"

namespace zul {
namespace {

using Json = nlohmann::json;

// A unit id source that answers from a list, and counts its questions.
struct ListedUnitIds final : UnitIdSource {
    std::vector<std::optional<std::string>> answers;
    size_t asked = 0;
    std::optional<std::string> Ask() override {
        return asked < answers.size() ? answers[asked++] : std::nullopt;
    }
};

// A wizard bench whose runs are recorded into a folder of its own.
struct Bench : test::WizardRunBench {
    explicit Bench(const sim::Profile& profile = {})
        : WizardRunBench(profile),
          log(dir.File("records"), "BENCH-7", "1.01-01", clock, messages) {}
    // Asks ids for the serial number at each Start from now on.
    void Ask(std::vector<std::optional<std::string>> answers) {
        ids.answers = std::move(answers);
        recorded.SetUnitIdSource(&ids);
    }
    test::TemporaryDirectory dir;
    test::RecordingMessageSink messages;
    RunLog log;
    ListedUnitIds ids;
    ItemContext recordedCtx{link, data, result, clock, log};
    Wizard recorded{view, recordedCtx};

    // One whole run: Start, Next ... with a poll at the mag step, to COMPLETE
    // or the failure.
    void Run() {
        for (int guard = 0; guard < 20; ++guard) {
            if (recorded.AdjStep() == 9) recorded.TimerTick();
            recorded.StartClick();
            if (recorded.AdjStep() == -1 || recorded.AdjStep() == 11) return;
            if (recorded.AdjStep() == 0) return;  // the Start was cancelled
        }
    }
    std::vector<Json> Records() const {
        std::ifstream in(log.FileFor(std::chrono::system_clock::now()), std::ios::binary);
        std::vector<Json> all;
        for (std::string line; std::getline(in, line);) all.push_back(Json::parse(line));
        return all;
    }
};

const Json& Item(const Json& record, int number) {
    for (const Json& item : record["items"]) {
        if (item["item"] == number) return item;
    }
    static const Json none;
    ADD_FAILURE() << "no item " << number;
    return none;
}

TEST(RecordContent, ACompleteRunNamesRunStationUnitLimitsAndEveryJudgedValue) {
    Bench b;
    b.Ask({"ZA123456", "ZA123457"});
    b.Run();
    ASSERT_EQ(b.recorded.AdjStep(), 11);
    b.recorded.StartClick();  // "Change acceptor unit."
    b.Run();
    const std::vector<Json> records = b.Records();
    ASSERT_EQ(records.size(), 2u);
    const Json& r = records[0];
    EXPECT_EQ(r["format"], 2);
    EXPECT_EQ(r["station"], "BENCH-7");
    EXPECT_EQ(r["unit"], "ZA123456");
    EXPECT_EQ(records[1]["unit"], "ZA123457");
    EXPECT_EQ(r["limits"], std::string(kLimitsRevision));
    const std::regex uuid("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
    EXPECT_TRUE(std::regex_match(r["run_id"].get<std::string>(), uuid)) << r["run_id"];
    EXPECT_NE(r["run_id"], records[1]["run_id"]);
    EXPECT_EQ(b.ids.asked, 2u);  // once per Start, never at Next

    // Every value of the catalogue, in its order, with its bounds; all pass
    // but the mag A/D sample, which is shown and never judged.
    std::vector<Json> values;
    for (const Json& item : r["items"]) {
        for (const Json& v : item["values"]) values.push_back(v);
    }
    ASSERT_EQ(values.size(), kJudgedValues.size());
    for (size_t i = 0; i < values.size(); ++i) {
        const JudgedValue& catalogued = kJudgedValues[i];
        const Json& v = values[i];
        EXPECT_EQ(v["name"], std::string(catalogued.name)) << i;
        EXPECT_EQ(v.contains("slot"), catalogued.slot >= 0) << i;
        if (catalogued.slot >= 0) {
            EXPECT_EQ(v["slot"], catalogued.slot) << i;
        }
        EXPECT_EQ(v["label"], std::string(catalogued.label)) << i;
        EXPECT_EQ(v["lower"], catalogued.lower) << i;
        EXPECT_EQ(v["upper"], catalogued.upper) << i;
        EXPECT_EQ(v["verdict"], catalogued.judged ? "pass" : "not judged") << i;
    }
    // The readings as the healthy unit gave them.
    const Json& white = Item(r, 3)["values"];
    EXPECT_EQ(white[0]["value"], 128);  // D/A of "Front Ir"
    EXPECT_EQ(white[14]["value"], 77);  // A/D of "Front Ir"
    EXPECT_EQ(Item(r, 7)["values"][0]["value"], 105);
}

TEST(RecordContent, AFailedWhiteSlotHoldsItsValueBothLimitsAndItsVerdict) {
    sim::Profile profile;
    profile.whiteResult[3] = 61;       // A/D of "Front Red", below 62
    profile.whiteResult[15 + 5] = 29;  // D/A of "Right Red", below 30
    Bench b(profile);
    b.Run();
    ASSERT_EQ(b.recorded.AdjStep(), -1);
    const Json r = b.Records().at(0);
    EXPECT_FALSE(r.contains("unit"));  // no number was asked for
    EXPECT_EQ(r["outcome"], "failed");
    EXPECT_EQ(r["failed_item"], 3);
    const Json& item = Item(r, 3);
    EXPECT_EQ(item["verdict"], "fail");
    std::vector<Json> failed;
    for (const Json& v : item["values"]) {
        if (v["verdict"] != "pass") failed.push_back(v);
    }
    ASSERT_EQ(failed.size(), 2u);
    EXPECT_EQ(failed[0], Json::parse(R"({"name":"da","slot":5,"label":"Right Red","value":29,
                                         "lower":30,"upper":255,"verdict":"fail"})"));
    EXPECT_EQ(failed[1], Json::parse(R"({"name":"ad","slot":3,"label":"Front Red","value":61,
                                         "lower":62,"upper":92,"verdict":"fail"})"));
}

TEST(RecordContent, LeverValuesCarryTheRuleOfEachStep) {
    sim::Profile profile;
    profile.leverPaperIn = {2, 0x80, 0x7F};  // back not 1, right below 128
    Bench b(profile);
    b.Run();
    ASSERT_EQ(b.recorded.AdjStep(), -1);
    const Json record = b.Records().at(0);
    const Json& values = Item(record, 2)["values"];
    ASSERT_EQ(values.size(), 6u);
    const auto entry = [&](size_t i) {
        const Json& v = values[i];
        return v["name"].get<std::string>() + " " + v["label"].get<std::string>() + " " +
               std::to_string(v["value"].get<int>()) + " " + std::to_string(v["lower"].get<int>()) +
               "-" + std::to_string(v["upper"].get<int>()) + " " + v["verdict"].get<std::string>();
    };
    EXPECT_EQ(entry(0), "paper_in.back Back lever 2 1-1 fail");
    EXPECT_EQ(entry(1), "paper_in.left Left lever 128 128-255 pass");
    EXPECT_EQ(entry(2), "paper_in.right Right lever 127 128-255 fail");
    EXPECT_EQ(entry(3), "paper_out.back Back lever 0 0-0 pass");
    EXPECT_EQ(entry(4), "paper_out.left Left lever 32 0-127 pass");
    EXPECT_FALSE(values[0].contains("slot"));
}

TEST(RecordContent, ACancelledSerialNumberSendsNothingAndRecordsNothing) {
    Bench b;
    b.Ask({std::nullopt, "ZA000001"});
    b.recorded.StartClick();  // Esc in the dialog
    EXPECT_EQ(b.recorded.AdjStep(), 0);
    EXPECT_TRUE(b.unit.Received().empty());
    EXPECT_EQ(b.view.startCaption, "Start");  // the captions were never touched
    EXPECT_EQ(b.view.exitCaption, "Exit");
    EXPECT_THAT(b.result.Lines(), ::testing::ElementsAreArray(screen::kIdle));
    EXPECT_TRUE(b.Records().empty());

    b.recorded.StartMenuClick();  // the menu's Start asks as well
    EXPECT_EQ(b.recorded.AdjStep(), 1);
    EXPECT_EQ(b.ids.asked, 2u);
    EXPECT_THAT(b.unit.Received(), ::testing::ElementsAre(0xB6, 0xB4));
}

}  // namespace
}  // namespace zul
