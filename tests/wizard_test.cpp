// The step engine against the simulated unit, with a view that records what
// the wizard does to the window.
#include "app/Wizard.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mock/CaseNames.h"
#include "mock/FakeWizardView.h"
#include "mock/GoodRunScreens.h"
#include "mock/ItemBench.h"
#include "serial/Commands.h"

namespace zul {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

struct WizardBench : test::ItemBench {
    explicit WizardBench(sim::Profile profile = {}) : test::ItemBench(std::move(profile)) {
        view.logEvents = true;
        result.Clear();
        ShowIdleScreen(result);
    }
    // Clicks Start until AdjStep is step (or the run failed).
    void RunTo(int16_t step) {
        for (int i = 0; i < 12 && wizard.AdjStep() != step && wizard.AdjStep() >= 0; ++i)
            wizard.StartClick();
        ASSERT_EQ(wizard.AdjStep(), step);
    }
    test::FakeWizardView view;
    Wizard wizard{view, ctx};
};

using Focus = test::FakeWizardView::Focus;

TEST(WizardSteps, EveryStepFromZeroToElevenHasItsRow) {
    for (int16_t step = 0; step <= 11; ++step) {
        const WizardRow* row = FindWizardRow(step);
        ASSERT_NE(row, nullptr) << step;
        EXPECT_EQ(row->step, step);
        EXPECT_TRUE(row->handler != nullptr || !row->shown.empty()) << step;
    }
    EXPECT_EQ(FindWizardRow(-1), nullptr);
    EXPECT_EQ(FindWizardRow(12), nullptr);
}

TEST(WizardSteps, CounterRule) {
    EXPECT_EQ(NextStep(0), 1);
    EXPECT_EQ(NextStep(10), 11);
    EXPECT_EQ(NextStep(11), 0);
    EXPECT_EQ(NextStep(-1), -1);
}

TEST(WizardSteps, MagScreenFillsTheRangeRightAligned) {
    EXPECT_THAT(Wizard::MagScreen(5, 70),
                ElementsAre("*** 6.Mag adjustment ***", " MAG A/D Peak Adjustment", "",
                            "Find the position where both \"Peak Value\" and \"A/D\" enter",
                            "the range between  5P and 70P.",
                            "Hold the mag board in the position and click Next", "",
                            "To clear the mag peak value, click Clear"));
}

TEST(Wizard, GoodRunShowsEveryScreenAndSendsEveryItem) {
    WizardBench b;
    for (const test::ScreenAfter& s : test::kGoodRunScreens) {
        ASSERT_EQ(b.wizard.AdjStep(), s.step);
        b.wizard.StartClick();
        EXPECT_THAT(b.Lines(), ElementsAreArray(s.lines)) << "click at " << s.step;
        EXPECT_EQ(b.wizard.AdjStep(), NextStep(s.step));
        if (s.step == 8) {
            EXPECT_TRUE(b.view.timerActive);
            EXPECT_TRUE(b.view.clearVisible);
            EXPECT_EQ(b.view.focus, Focus::Clear);
            EXPECT_TRUE(b.view.groupActive);
        }
        if (s.step == 9) {
            EXPECT_FALSE(b.view.timerActive);
            EXPECT_FALSE(b.view.clearVisible);
            EXPECT_FALSE(b.view.legend);
            EXPECT_TRUE(b.view.groupActive);  // black until the next click
        }
        if (s.step == 10) {
            EXPECT_EQ(b.view.exitCaption, "Exit");
            EXPECT_EQ(b.view.startCaption, "Next");
            EXPECT_FALSE(b.view.groupActive);
        }
    }
    EXPECT_EQ(b.view.startCaption, "Start");
    EXPECT_TRUE(b.view.menuEnabled);
    EXPECT_THAT(b.view.looks, Each(LabelLook::Idle));
    EXPECT_THAT(b.Sent(), ElementsAre(0xB6, 0xB4,                                // erase
                                      0xA7, 0x05, 0x05, 0x05,                    // lever up
                                      0xA7, 0x05, 0x05, 0x05,                    // lever down
                                      0xA1, 0xC0, 0x05, 0xEE, 0xE0, 0xB0, 0xB4,  // white
                                      0xA2, 0x05, 0xB0, 0xB4,                    // black
                                      0xA3, 0xC1, 0x05, 0xEE, 0x05, 0xB0, 0xB4,  // non-paper
                                      0xA4, 0x05, 0xB0, 0xB4,                    // mag
                                      0xA6, 0xB0, 0xB4));                        // motor
}

TEST(Wizard, LabelsGoCurrentThenDone) {
    WizardBench b;
    b.wizard.StartClick();
    EXPECT_EQ(b.view.looks[0], LabelLook::Done);
    ASSERT_NO_FATAL_FAILURE(b.RunTo(3));
    EXPECT_EQ(b.view.looks[1], LabelLook::Current);  // between the two lever steps
    ASSERT_NO_FATAL_FAILURE(b.RunTo(5));
    EXPECT_EQ(b.view.looks[1], LabelLook::Done);
    EXPECT_EQ(b.view.looks[2], LabelLook::Current);  // until the paper is out
    ASSERT_NO_FATAL_FAILURE(b.RunTo(6));
    EXPECT_EQ(b.view.looks[2], LabelLook::Done);
    ASSERT_NO_FATAL_FAILURE(b.RunTo(10));
    EXPECT_EQ(b.view.looks[5], LabelLook::Current);
    ASSERT_NO_FATAL_FAILURE(b.RunTo(11));
    EXPECT_THAT(b.view.looks, Each(LabelLook::Done));
    EXPECT_TRUE(b.view.startEnabled);
    EXPECT_EQ(b.view.focus, Focus::Start);
}

TEST(Wizard, SecondUnitStartsWithTheErase) {
    WizardBench b;
    ASSERT_NO_FATAL_FAILURE(b.RunTo(11));
    b.wizard.StartClick();
    ASSERT_EQ(b.wizard.AdjStep(), 0);
    b.unit.ClearRecord();
    b.wizard.StartClick();
    EXPECT_EQ(b.wizard.AdjStep(), 1);
    EXPECT_THAT(b.Sent(), ElementsAre(0xB6, 0xB4));
    EXPECT_EQ(b.view.startCaption, "Next");
    EXPECT_EQ(b.view.exitCaption, "Cancel");
}

// One failing item: the fault, the step whose click runs it, the title line
// the report keeps and the label left current.
struct FailCase {
    const char* name;
    int16_t step;
    void (*fault)(sim::Profile&);
    std::string title;
    int label;
    std::string reportLine;  // the line after the title
};

const FailCase kFailCases[] = {
    {"Erase", 0, [](sim::Profile& p) { test::FaultOn(p, cmd::kEepromErase, test::Refuse()); },
     "*** 1.Eeprom Erasing ***", 1, "XXXXXX    Cannot erase EEPROM !    XXXXXX"},
    {"LeverUp", 2, [](sim::Profile& p) { test::FaultOn(p, cmd::kOpenLever, test::Silent()); },
     "*** 2.Lever sensor check ***", 2, ""},
    {"LeverDown", 3, [](sim::Profile& p) { p.dropOffAfter = 6; },  // erase and lever up answered
     "*** 2.Lever sensor check ***", 2, ""},
    {"White", 4, [](sim::Profile& p) { test::FaultOn(p, cmd::kWhiteResistor, test::Refuse()); },
     "*** 3.White level adjustment ***", 3, "XXXXXX    Resister adjustment error !    XXXXXX"},
    {"Black", 6,
     [](sim::Profile& p) {
         p.blackResult = {103, 50, 50, 50};
     },
     "*** 4.Black level adjustment ***", 4,
     "XXXXXX  Adjustment error of black reference paper !  XXXXXX"},
    {"NonPaper", 7, [](sim::Profile& p) { test::FaultOn(p, cmd::kOpenNonPaper, test::Silent()); },
     "*** 5.Non paper adjustment ***", 5, ""},
    {"MagStart", 8, [](sim::Profile& p) { test::FaultOn(p, cmd::kOpenMag, test::Silent()); },
     "*** 6.Mag adjustment ***", 6, ""},
    {"MagVerdict", 9,
     [](sim::Profile& p) {
         p.magSamples = {{45, 58}};
     },
     "*** 6.Mag adjustment ***", 6, "XXXXXX    MAG A/D adjustment error !    XXXXXX"},
    {"MagEepromWrite", 9,
     [](sim::Profile& p) { test::FaultOn(p, cmd::kEepromWrite, test::Refuse(4)); },
     "*** 6.Mag adjustment ***", 6, "XXXXXX    EEPROM writing error    XXXXXX"},
    {"Motor", 10, [](sim::Profile& p) { p.motorSpeed = 88; }, "*** 7.Moter speed check ***", 7,
     "XXXXXX    Moter speed error !    XXXXXX"},
};

void PrintTo(const FailCase& c, std::ostream* os) {
    *os << c.name;
}

class WizardFailure : public ::testing::TestWithParam<FailCase> {};

TEST_P(WizardFailure, EndsWithClickCancelAndOnlyCancelLeadsOn) {
    const FailCase& c = GetParam();
    sim::Profile profile;
    c.fault(profile);
    WizardBench b(profile);
    ASSERT_NO_FATAL_FAILURE(b.RunTo(c.step));
    b.wizard.StartClick();

    ASSERT_EQ(b.wizard.AdjStep(), -1);
    const std::vector<std::string> lines = b.Lines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], c.title);
    EXPECT_EQ(lines[1], c.reportLine);
    if (c.reportLine.empty()) {
        EXPECT_EQ(lines[2], "Communication error");
    }
    EXPECT_EQ(lines[lines.size() - 2], "");
    EXPECT_EQ(lines.back(), "Click Cancel");
    EXPECT_FALSE(b.view.startEnabled);
    EXPECT_TRUE(b.view.exitEnabled);
    EXPECT_FALSE(b.view.menuEnabled);
    EXPECT_FALSE(b.view.timerActive);
    EXPECT_FALSE(b.view.clearVisible);
    EXPECT_EQ(b.view.looks[static_cast<std::size_t>(c.label - 1)], LabelLook::Current);

    // Neither the disabled button nor the greyed menu entry does anything.
    const std::size_t sent = b.Sent().size();
    b.wizard.StartClick();
    b.wizard.StartMenuClick();
    b.wizard.ClearClick();
    b.wizard.TimerTick();
    EXPECT_EQ(b.wizard.AdjStep(), -1);
    EXPECT_EQ(b.Sent().size(), sent);
    EXPECT_EQ(b.Lines(), lines);

    b.wizard.ExitClick();
    EXPECT_EQ(b.wizard.AdjStep(), 0);
    EXPECT_THAT(b.Lines(), ElementsAreArray(test::kIdleScreen));
    EXPECT_EQ(b.view.startCaption, "Start");
    EXPECT_EQ(b.view.exitCaption, "Exit");
    EXPECT_TRUE(b.view.startEnabled);
    EXPECT_TRUE(b.view.menuEnabled);
    EXPECT_FALSE(b.view.groupActive);
    EXPECT_THAT(b.view.looks, Each(LabelLook::Idle));
    EXPECT_FALSE(b.view.closed);
}

INSTANTIATE_TEST_SUITE_P(EveryItem, WizardFailure, ::testing::ValuesIn(kFailCases),
                         zul::test::FieldName());

TEST(Wizard, ExitClosesOnlyWhenIdleOrComplete) {
    for (int16_t step : {0, 11}) {
        WizardBench b;
        ASSERT_NO_FATAL_FAILURE(b.RunTo(step));
        const auto lines = b.Lines();
        b.wizard.ExitClick();
        EXPECT_TRUE(b.view.closed) << step;
        EXPECT_EQ(b.wizard.AdjStep(), step);
        EXPECT_EQ(b.Lines(), lines);
    }
    for (int16_t step : {1, 5, 9, 10}) {
        WizardBench b;
        ASSERT_NO_FATAL_FAILURE(b.RunTo(step));
        b.wizard.ExitClick();
        EXPECT_FALSE(b.view.closed) << step;
        EXPECT_EQ(b.wizard.AdjStep(), 0);
        EXPECT_THAT(b.Lines(), ElementsAreArray(test::kIdleScreen));
    }
}

TEST(Wizard, CancelDuringPollingStopsTheTimerFirst) {
    WizardBench b;
    ASSERT_NO_FATAL_FAILURE(b.RunTo(9));
    b.view.events.clear();
    b.unit.ClearRecord();
    b.wizard.ExitClick();
    ASSERT_FALSE(b.view.events.empty());
    EXPECT_EQ(b.view.events.front(), "timer off");
    EXPECT_FALSE(b.view.timerActive);
    EXPECT_FALSE(b.view.clearVisible);
    b.wizard.TimerTick();  // a tick already queued
    EXPECT_TRUE(b.Sent().empty());
}

TEST(Wizard, MenuStartOnlyWhileIdle) {
    WizardBench b;
    b.wizard.StartMenuClick();
    EXPECT_EQ(b.wizard.AdjStep(), 1);
    EXPECT_FALSE(b.view.menuEnabled);
    b.unit.ClearRecord();
    b.wizard.StartMenuClick();
    EXPECT_EQ(b.wizard.AdjStep(), 1);
    EXPECT_TRUE(b.Sent().empty());
}

TEST(Wizard, NextStopsTheTimerBeforeTheVerdict) {
    WizardBench b;
    ASSERT_NO_FATAL_FAILURE(b.RunTo(9));
    b.view.events.clear();
    b.wizard.StartClick();
    ASSERT_FALSE(b.view.events.empty());
    EXPECT_EQ(b.view.events.front(), "timer off");
}

TEST(Wizard, FailedPollEndsTheRun) {
    WizardBench probe;
    ASSERT_NO_FATAL_FAILURE(probe.RunTo(9));
    sim::Profile profile;
    // The unit drops off the line right after the start exchange.
    profile.dropOffAfter = static_cast<uint32_t>(probe.Sent().size());

    WizardBench b(profile);
    ASSERT_NO_FATAL_FAILURE(b.RunTo(9));
    b.wizard.TimerTick();
    EXPECT_EQ(b.wizard.AdjStep(), -1);
    EXPECT_FALSE(b.view.timerActive);
    EXPECT_FALSE(b.view.startEnabled);
    EXPECT_TRUE(b.view.exitEnabled);
    EXPECT_FALSE(b.view.clearVisible);
    EXPECT_THAT(b.Lines(), ElementsAre("*** 6.Mag adjustment ***", "", "Communication error", "",
                                       "Click Cancel"));
}

TEST(Wizard, ClearRestartsTheReading) {
    sim::Profile profile;
    profile.magSamples = {{60, 50}, {90, 40}, {30, 20}};
    WizardBench b(profile);
    ASSERT_NO_FATAL_FAILURE(b.RunTo(9));
    b.wizard.TimerTick();
    b.wizard.TimerTick();
    EXPECT_EQ(b.view.mag.peakText, " 90");
    EXPECT_EQ(b.view.mag.adText, " 20");
    b.unit.ClearRecord();
    b.view.events.clear();
    b.wizard.ClearClick();
    EXPECT_THAT(b.Sent(), ElementsAre(0xA4, 0x05));
    EXPECT_EQ(b.view.events.front(), "timer off");
    EXPECT_EQ(b.view.events.back(), "timer on");
    EXPECT_EQ(b.view.mag.peakText, " 60");
    EXPECT_EQ(b.wizard.AdjStep(), 9);
}

}  // namespace
}  // namespace zul
