// The serial number of the unit on the bench, scanned at Start and kept in
// the run's record, over a real serial line against the simulator tool.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QTimer>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "e2e/E2eBench.h"
#include "mock/DialogOperator.h"
#include "mock/Environment.h"
#include "mock/GoodRunScreens.h"
#include "mock/TemporaryDirectory.h"

namespace zul {
namespace {

using Json = nlohmann::json;
using test::DialogOperator;

// Every record in the folder's record files.
std::vector<Json> RecordsIn(const std::string& folder) {
    std::vector<Json> all;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        std::ifstream in(entry.path(), std::ios::binary);
        for (std::string line; std::getline(in, line);) all.push_back(Json::parse(line));
    }
    return all;
}

// Start and Next through a healthy run to "**** COMPLETE ****" and on to
// "Change acceptor unit.".
void WalkCompleteRun(const test::E2eBench& b) {
    for (const test::ScreenAfter& s : test::kGoodRunScreens) {
        ASSERT_EQ(b.form->AdjStep(), s.step);
        b.ClickStart();
        ASSERT_THAT(b.Shown(), ::testing::ElementsAreArray(s.lines)) << "click at " << s.step;
        if (s.step == 8) QTest::qWait(600);  // a poll of the live display
    }
}

TEST(E2eScan, AScannedRunKeepsItsNumberAndEscSendsNothing) {
    test::TemporaryDirectory out;
    const std::string folder = out.File("records");
    std::filesystem::create_directory(folder);  // a share is there before it takes records
    const test::ScopedVariable records(kRecordsVariable, folder);
    const test::ScopedVariable scan("ZUL10_UNIT_ID", "scan");
    const test::ScopedVariable pattern("ZUL10_UNIT_ID_PATTERN", "ZA[0-9]{6}");
    test::E2eBench b("healthy");
    ASSERT_NE(b.unitIdForm, nullptr);
    DialogOperator op;

    // Esc: back at the idle screen, and the unit has heard nothing.
    op.OnNextDialog({[](QDialog&) { DialogOperator::Scan("ZA1"); },  // off the pattern
                     [](QDialog&) { DialogOperator::Press(Qt::Key_Escape); }});
    b.ClickStart();
    EXPECT_EQ(b.form->AdjStep(), 0);
    EXPECT_THAT(b.Shown(), ::testing::ElementsAreArray(test::kIdleScreen));
    b.ExpectIdleButtons();
    QTest::qWait(300);
    EXPECT_TRUE(b.sim.Received().empty());

    // A scan at the scanner's pace, then the whole run.
    op.OnNextDialog({[](QDialog&) { DialogOperator::Scan("ZA004217"); }});
    ASSERT_NO_FATAL_FAILURE(WalkCompleteRun(b));  // up to "Change acceptor unit."
    // The next unit gets its own number.
    op.OnNextDialog({[](QDialog&) { DialogOperator::Scan("ZA004218"); }});
    b.ClickStart();
    EXPECT_EQ(b.form->AdjStep(), 1);
    b.ClickExit();  // Cancel

    // Delivered to the folder by the forwards the program started.
    ASSERT_TRUE(b.AwaitDelivery(folder));
    const std::vector<Json> all = RecordsIn(folder);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0]["unit"], "ZA004217");
    EXPECT_EQ(all[0]["outcome"], "complete");
    EXPECT_EQ(all[1]["unit"], "ZA004218");
    EXPECT_EQ(all[1]["outcome"], "cancelled");
}

}  // namespace
}  // namespace zul
