// The program itself into the database: a complete and a failed run of the
// main window against the simulator tool, delivered by the forwards the
// program starts into a database of the test server, found there with their
// items, values and limits.
#include <gtest/gtest.h>

#include <QTest>
#include <algorithm>
#include <set>

#include "adjust/JudgedValues.h"
#include "e2e/E2eBench.h"
#include "mock/Environment.h"
#include "mock/GoodRunScreens.h"
#include "mock/TestDatabase.h"
#include "records/DatabaseUri.h"

namespace zul {
namespace {

TEST(E2eDatabase, ACompleteAndAFailedRunAreInTheDatabaseWithTheirValuesAndLimits) {
    test::TestDatabase db;
    test::UnsetEnvironment(kRecordsVariable);  // the database alone
    const test::ScopedVariable database("ZUL10_DATABASE", db.uri());
    const std::string key = records::DatabaseKey(db.uri());
    {
        test::E2eBench b("healthy");
        ASSERT_TRUE(b.extras->recording());
        for (const test::ScreenAfter& s : test::kGoodRunScreens) {
            ASSERT_EQ(b.form->AdjStep(), s.step);
            b.ClickStart();
            if (s.step == 8) QTest::qWait(600);  // a poll of the live display
        }
        ASSERT_TRUE(b.AwaitDeliveryTo(key));
    }
    {
        test::E2eBench b("white-fail");
        for (int16_t step = 0; step <= 4; ++step) b.ClickStart();
        ASSERT_EQ(b.form->AdjStep(), -1);
        b.ClickExit();  // Cancel
        ASSERT_TRUE(b.AwaitDeliveryTo(key));
    }

    EXPECT_EQ(db.Text("SELECT string_agg(outcome || ':' || coalesce(failed_item, 0) || ':' || "
                      "coalesce(cause, ''), ',' ORDER BY started_at) FROM runs"),
              "complete:0:,failed:3:XXXXXX  Adjustment error of white reference paper !  XXXXXX");
    db.ExpectRunsWhole(2);
    const std::string complete = "(SELECT run_id FROM runs WHERE outcome = 'complete')";
    const std::string failed = "(SELECT run_id FROM runs WHERE outcome = 'failed')";
    EXPECT_EQ(
        db.Number("SELECT count(*) FROM items WHERE verdict = 'pass' AND run_id = " + complete), 7);
    // Every judged value of the catalogue, with the catalogue's limits.
    std::set<std::string> catalogue;
    for (const JudgedValue& catalogued : kJudgedValues) {
        catalogue.insert(std::to_string(catalogued.item) + "|" + std::string(catalogued.name) +
                         "|" + std::to_string(catalogued.slot) + "|" +
                         std::string(catalogued.label) + "|" + std::to_string(catalogued.lower) +
                         "|" + std::to_string(catalogued.upper));
    }
    const auto stored = [&](const std::string& run) {
        const records::PgResult rows = db.connection().Exec(
            ("SELECT concat_ws('|', item, name, slot, label, lower, upper) FROM measured_values "
             "WHERE run_id = " +
             run)
                .c_str());
        std::set<std::string> catalogued;
        for (int row = 0; row < rows.rows(); ++row) catalogued.insert(rows.Text(row, 0));
        return catalogued;
    };
    EXPECT_EQ(stored(complete), catalogue);
    const std::set<std::string> failedValues = stored(failed);
    EXPECT_EQ(failedValues.size(), 6u + 14u + 14u);  // the levers, item 3's D/A and A/D
    EXPECT_TRUE(std::includes(catalogue.begin(), catalogue.end(), failedValues.begin(),
                              failedValues.end()));
    const auto value = [&](const std::string& run, const std::string& where) {
        return db.Text("SELECT value || '|' || verdict FROM measured_values WHERE run_id = " + run +
                       " AND " + where);
    };
    EXPECT_EQ(value(complete, "item = 3 AND name = 'ad' AND slot = 6"), "180|pass");
    EXPECT_EQ(value(complete, "item = 7 AND name = 'speed'"), "105|pass");
    EXPECT_EQ(value(failed, "item = 3 AND name = 'ad' AND slot = 3"), "61|fail");
}

}  // namespace
}  // namespace zul
