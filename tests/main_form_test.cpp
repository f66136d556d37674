// The main window offscreen, against the simulated unit on the in-process
// port with a manual clock.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyleFactory>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/MainForm.h"
#include "app/VersionForm.h"
#include "app/Wizard.h"
#include "mock/GoodRunScreens.h"
#include "mock/ItemBench.h"
#include "mock/MainFormControls.h"
#include "mock/RecordingMessageSink.h"
#include "mock/TemporaryDirectory.h"
#include "mock/TestApplication.h"
#include "serial/Commands.h"
#include "serial/Rs232cForm.h"
#include "serial/SettingsFile.h"
#include "sim/SimPort.h"
#include "sim/SimUnit.h"

namespace zul {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

const char* const kLegend[] = {"lblOK",    "lblNG",   "lblNG2",   "shpOkNg",
                               "shpOkNg2", "imgLeft", "imgRight", "imgLR"};
const char* const kMagCaptions[] = {"lblTitleMagPeak", "lblMagPeak2", "lblTitleMagAD", "lblMagAD2"};

// One unit on the bench and the main window over it.
struct FormBench : test::MainFormControls {
    explicit FormBench(sim::Profile profile = {}) : unit(std::move(profile)), port(unit, clock) {
        test::TestApplication();
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Windows")));
        port.OpenDevice("COM1");
        port.Configure(LineSettings{.portName = "COM1"});
        form = std::make_unique<TMainForm>(port, clock);
        form->show();
    }
    ~FormBench() { form.reset(); }

    QAction* Start1() const { return Find<QAction>("Start1"); }
    QLabel* Item(int n) const {
        const std::string name = "lblAdjItem" + std::to_string(n);
        return Find<QLabel>(name.c_str());
    }

    void ClickStart() const { QTest::mouseClick(Start(), Qt::LeftButton); }
    void Activate() const {
        QApplication::setActiveWindow(form.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }
    // Chooses an entry of "&Opition" with the keyboard, as the operator does
    // (Alt+O, then the entry's letter), and runs meanwhile, afterMs later,
    // inside the dialog the entry shows; returns when the entry's handler does.
    void ChooseOption(Qt::Key entry, int afterMs, const std::function<void()>& meanwhile) const {
        ASSERT_NO_FATAL_FAILURE(Activate());
        QTest::keyClick(form.get(), Qt::Key_O, Qt::AltModifier);
        QMenu* menu = Find<QMenu>("Opition1");
        ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
        QTimer::singleShot(afterMs, meanwhile);
        QTest::keyClick(menu, entry);
    }
    void ClickExit() const { QTest::mouseClick(Exit(), Qt::LeftButton); }
    // Clicks Start until AdjStep is step.
    void RunTo(int16_t step) const {
        for (int i = 0; i < 12 && form->AdjStep() != step && form->AdjStep() >= 0; ++i)
            ClickStart();
        ASSERT_EQ(form->AdjStep(), step);
    }

    const std::vector<uint8_t>& Sent() const { return unit.Received(); }

    // The idle state as a fresh start or Cancel leaves it.
    void ExpectIdle() const {
        ExpectIdleButtons();
        EXPECT_THAT(Shown(), ElementsAreArray(test::kIdleScreen));
        EXPECT_TRUE(Start1()->isEnabled());
        for (int n = 1; n <= kItemCount; ++n) {
            EXPECT_TRUE(Item(n)->isEnabled()) << n;
            EXPECT_FALSE(Item(n)->font().bold()) << n;
            EXPECT_EQ(Item(n)->palette().color(QPalette::Active, QPalette::WindowText),
                      QApplication::palette().color(QPalette::Active, QPalette::WindowText));
        }
        ExpectMagGroupInactive();
        EXPECT_EQ(Text("lblMagPeak"), "");
        EXPECT_EQ(Text("lblMagAD"), "");
        EXPECT_EQ(Bar("prbMagPeak"), 0);
        EXPECT_EQ(Bar("prbMagAD"), 0);
    }
    void ExpectMagGroupInactive() const {
        EXPECT_EQ(
            Find<QGroupBox>("gbxMag")->palette().color(QPalette::Active, QPalette::WindowText),
            QColor(128, 128, 128));
        for (const char* name : kMagCaptions) EXPECT_FALSE(Find<QLabel>(name)->isEnabled());
        for (const char* name : kLegend) EXPECT_TRUE(Find<QWidget>(name)->isHidden()) << name;
    }

    ManualClock clock;
    sim::SimUnit unit;
    sim::SimPort port;
};

void ExpectCurrent(QLabel* label) {
    EXPECT_TRUE(label->font().bold());
    EXPECT_EQ(label->palette().color(QPalette::Active, QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_TRUE(label->isEnabled());
}

void ExpectDone(QLabel* label) {
    EXPECT_FALSE(label->font().bold());
    EXPECT_FALSE(label->isEnabled());
}

TEST(MainForm, StartsIdle) {
    FormBench b;
    b.ExpectIdle();
    EXPECT_EQ(b.form->windowTitle(), "ZUL-1x Adjustment Program");
    EXPECT_EQ(b.form->timer().interval(), 500);
    EXPECT_EQ(b.form->timer().objectName(), "Timer1");
    EXPECT_EQ(b.Text("lblTitleMagPeak"), "Peak Value");
    EXPECT_EQ(b.Text("lblNG2"), "NG");
    EXPECT_EQ(b.Clear()->text(), "Clear");
    EXPECT_EQ(b.Item(5)->text(), "5.Without paper adjustment");
    EXPECT_TRUE(b.Sent().empty());
}

TEST(MainForm, FixedWindowDefinition) {
    FormBench b;
    EXPECT_EQ(b.form->centralWidget()->size(), QSize(632, 434));
    EXPECT_EQ(b.form->minimumSize(), b.form->maximumSize());
    EXPECT_FALSE(b.form->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(b.Find<QWidget>("gbxAdjItem")->geometry(), QRect(16, 2, 441, 118));
    EXPECT_EQ(b.Item(7)->geometry(), QRect(230, 66, 190, 20));
    EXPECT_EQ(b.Start()->geometry(), QRect(488, 24, 113, 33));
    EXPECT_EQ(b.Find<QWidget>("gbxMag")->geometry(), QRect(16, 122, 601, 109));
    EXPECT_EQ(b.Find<QWidget>("imgLR")->geometry(), QRect(239, 70, 60, 17));
    EXPECT_EQ(b.Find<QWidget>("shpOkNg2")->geometry(), QRect(305, 69, 3, 36));
    EXPECT_EQ(b.Clear()->geometry(), QRect(475, 18, 113, 33));

    auto* mem = b.Find<QPlainTextEdit>("memResult");
    EXPECT_EQ(mem->geometry(), QRect(16, 240, 601, 185));
    EXPECT_TRUE(mem->isReadOnly());
    EXPECT_EQ(mem->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(mem->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(mem->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_FALSE(mem->focusPolicy() & Qt::TabFocus);
    EXPECT_EQ(mem->font().family(), "Courier");
    EXPECT_EQ(mem->font().pixelSize(), 16);
    EXPECT_TRUE(mem->font().fixedPitch());

    EXPECT_EQ(b.form->font().family(), "Arial");
    EXPECT_EQ(b.form->font().pixelSize(), 12);
    EXPECT_EQ(b.Start()->font().pixelSize(), 16);
    EXPECT_EQ(b.Item(1)->font().pixelSize(), 15);
    EXPECT_TRUE(b.Find<QLabel>("lblOK")->font().bold());
    EXPECT_EQ(b.Find<QLabel>("lblMagAD")->alignment() & Qt::AlignRight, Qt::AlignRight);
}

TEST(MainForm, MenuEntries) {
    FormBench b;
    auto* file = b.Find<QMenu>("File1");
    auto* option = b.Find<QMenu>("Opition1");
    EXPECT_EQ(file->title(), "&File");
    EXPECT_EQ(option->title(), "&Opition");
    ASSERT_EQ(file->actions().size(), 2);
    EXPECT_EQ(file->actions()[0]->objectName(), "Start1");
    EXPECT_EQ(file->actions()[0]->text(), "&Start");
    EXPECT_EQ(file->actions()[1]->objectName(), "Exit1");
    EXPECT_EQ(file->actions()[1]->text(), "&Exit");
    EXPECT_EQ(file->actions()[1]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_X));
    ASSERT_EQ(option->actions().size(), 2);
    EXPECT_EQ(option->actions()[0]->text(), "&COM port");
    EXPECT_EQ(option->actions()[1]->text(), "&Version");
}

TEST(MainForm, CtrlXClosesWhileTheMagDisplayRuns) {
    FormBench b;
    ASSERT_NO_FATAL_FAILURE(b.RunTo(9));
    ASSERT_TRUE(b.form->timer().isActive());
    ASSERT_NO_FATAL_FAILURE(b.Activate());
    QTest::keyClick(b.form.get(), Qt::Key_X, Qt::ControlModifier);
    EXPECT_FALSE(b.form->isVisible());
}

TEST(MainForm, ExitClosesWhenIdle) {
    FormBench b;
    b.ClickExit();
    EXPECT_FALSE(b.form->isVisible());
}

TEST(MainForm, StartErasesTheEeprom) {
    FormBench b;
    b.ClickStart();
    EXPECT_THAT(b.Sent(), ElementsAre(0xB6, 0xB4));
    EXPECT_EQ(b.clock.SleptMs(), 1000u);
    EXPECT_THAT(b.Shown(),
                ElementsAre("*** 1.Eeprom Erasing ***",
                            "Erasing EEPROM...... ----> Erasing Complete", "", "Click Next"));
    EXPECT_EQ(b.form->AdjStep(), 1);
    EXPECT_EQ(b.Start()->text(), "Next");
    EXPECT_EQ(b.Exit()->text(), "Cancel");
    EXPECT_TRUE(b.Start()->isEnabled());
    EXPECT_EQ(b.form->focusWidget(), b.Start());
    EXPECT_FALSE(b.Start1()->isEnabled());
    ExpectDone(b.Item(1));
}

TEST(MainForm, RefusedEraseFailsTheRun) {
    sim::Profile profile;
    test::FaultOn(profile, cmd::kEepromErase, test::Refuse());
    FormBench b(profile);
    b.ClickStart();
    EXPECT_THAT(b.Shown(),
                ElementsAre("*** 1.Eeprom Erasing ***", "XXXXXX    Cannot erase EEPROM !    XXXXXX",
                            "", "Click Cancel"));
    EXPECT_EQ(b.form->AdjStep(), -1);
    EXPECT_FALSE(b.Start()->isEnabled());
    EXPECT_TRUE(b.Exit()->isEnabled());
    EXPECT_EQ(b.Exit()->text(), "Cancel");
    EXPECT_FALSE(b.Start1()->isEnabled());
    ExpectCurrent(b.Item(1));
}

TEST(MainForm, SilentUnitIsACommunicationError) {
    sim::Profile profile;
    profile.dropOffAfter = 0;
    test::FaultOn(profile, cmd::kEepromErase, test::Silent());
    FormBench b(profile);
    b.ClickStart();
    EXPECT_THAT(b.Shown(), ElementsAre("*** 1.Eeprom Erasing ***", "", "Communication error", "",
                                       "Click Cancel"));
    EXPECT_EQ(b.form->AdjStep(), -1);
    EXPECT_THAT(b.Sent(), ElementsAre(0xB6, 0xB6, 0xB6, 0xB6));
}

TEST(MainForm, CancelFromTheFailedStateRestoresIdle) {
    sim::Profile profile;
    profile.magSamples = {{90, 58}};
    FormBench b(profile);
    ASSERT_NO_FATAL_FAILURE(b.RunTo(9));
    b.ClickStart();  // the peak 90 fails
    ASSERT_EQ(b.form->AdjStep(), -1);
    EXPECT_FALSE(b.Start()->isEnabled());
    EXPECT_TRUE(b.Clear()->isHidden());
    EXPECT_EQ(b.Text("lblMagPeak"), " 90");  // the failed state keeps the values
    b.ClickExit();
    b.ExpectIdle();
}

TEST(MainForm, MenuStartActsAsTheButtonAndIsGreyedDuringTheRun) {
    FormBench b;
    b.Start1()->trigger();
    EXPECT_EQ(b.form->AdjStep(), 1);
    EXPECT_THAT(b.Sent(), ElementsAre(0xB6, 0xB4));
    EXPECT_EQ(b.Start()->text(), "Next");
    EXPECT_FALSE(b.Start1()->isEnabled());
    for (int16_t step = 2; step <= 11; ++step) {
        ASSERT_NO_FATAL_FAILURE(b.RunTo(step));
        EXPECT_FALSE(b.Start1()->isEnabled()) << step;
    }
    b.ClickStart();  // "Change acceptor unit."
    EXPECT_TRUE(b.Start1()->isEnabled());
    ASSERT_NO_FATAL_FAILURE(b.RunTo(3));
    b.ClickExit();
    EXPECT_TRUE(b.Start1()->isEnabled());
}

TEST(MainForm, FailingWhiteSlotShowsItsTable) {
    sim::Profile profile;
    profile.whiteResult[0] = 61;  // Front Ir A/D under its lower limit 62
    FormBench b(profile);
    ASSERT_NO_FATAL_FAILURE(b.RunTo(4));
    b.ClickStart();
    EXPECT_THAT(b.Shown(),
                ElementsAre("*** 3.White level adjustment ***",
                            "XXXXXX  Adjustment error of white reference paper !  XXXXXX", "",
                            "****** Descriptions *******************************",
                            "No.  Name        D/A    A/D    Reg",
                            " 1. Front Ir    (128p) ( 61p) ( 5) ", "", "Click Cancel"));
    EXPECT_EQ(b.form->AdjStep(), -1);
    ExpectCurrent(b.Item(3));
    ExpectDone(b.Item(2));
}

TEST(MainForm, MagClearWithAFailingStartLeavesZero) {
    FormBench b;
    ASSERT_NO_FATAL_FAILURE(b.RunTo(9));
    EXPECT_EQ(b.Text("lblMagPeak"), " 58");
    test::FaultOn(b.unit.profile(), cmd::kOpenMag, test::Silent());
    QTest::mouseClick(b.Clear(), Qt::LeftButton);
    EXPECT_EQ(b.Text("lblMagPeak"), "  0");
    EXPECT_EQ(b.Bar("prbMagPeak"), 0);
    EXPECT_EQ(b.form->AdjStep(), -1);
    EXPECT_FALSE(b.form->timer().isActive());
    EXPECT_FALSE(b.Start()->isEnabled());
    EXPECT_TRUE(b.Clear()->isHidden());
    EXPECT_THAT(b.Shown(), ElementsAre("*** 6.Mag adjustment ***", "", "Communication error", "",
                                       "Click Cancel"));
}

TEST(MainForm, LiveDisplayFollowsThePolls) {
    sim::Profile profile;
    profile.magSamples = {{50, 40}, {150, 30}, {20, 150}};
    FormBench b(profile);
    ASSERT_NO_FATAL_FAILURE(b.RunTo(9));
    EXPECT_EQ(b.Text("lblMagPeak"), " 50");
    EXPECT_EQ(b.Text("lblMagAD"), " 40");
    b.form->Timer1Timer();
    EXPECT_EQ(b.Text("lblMagPeak"), "150");
    EXPECT_EQ(b.Bar("prbMagPeak"), 100);
    b.form->Timer1Timer();
    EXPECT_EQ(b.Text("lblMagPeak"), "150");  // the held peak
    EXPECT_EQ(b.Text("lblMagAD"), "150");
    EXPECT_EQ(b.Bar("prbMagAD"), 100);
}

TEST(MainForm, NextBeforeAnyTickJudgesTheStartSample) {
    sim::Profile profile;
    profile.magSamples = {{46, 10}, {90, 90}};
    FormBench b(profile);
    ASSERT_NO_FATAL_FAILURE(b.RunTo(9));
    b.ClickStart();
    EXPECT_EQ(b.form->AdjStep(), 10);
    EXPECT_THAT(b.Shown(),
                ElementsAre("*** 6.Mag adjustment ***", "Remove the mag board.", "", "Click Next"));
    EXPECT_EQ(b.Text("lblMagPeak"), "");
    EXPECT_EQ(b.Bar("prbMagPeak"), 0);
    EXPECT_TRUE(b.Clear()->isHidden());
    for (const char* name : kLegend) EXPECT_TRUE(b.Find<QWidget>(name)->isHidden()) << name;
    EXPECT_EQ(b.Find<QGroupBox>("gbxMag")->palette().color(QPalette::Active, QPalette::WindowText),
              QColor(0, 0, 0));
}

TEST(MainForm, CancelDuringPollingStopsTheTimer) {
    FormBench b;
    ASSERT_NO_FATAL_FAILURE(b.RunTo(9));
    b.form->Timer1Timer();
    b.unit.ClearRecord();
    b.ClickExit();
    EXPECT_FALSE(b.form->timer().isActive());
    QTest::qWait(3 * 500 / 2);  // a running timer would tick in this time
    EXPECT_TRUE(b.Sent().empty());
    b.ExpectIdle();
}

TEST(MainForm, MagStepLooks) {
    FormBench b;
    ASSERT_NO_FATAL_FAILURE(b.RunTo(9));
    ExpectCurrent(b.Item(6));
    for (int n = 1; n <= 5; ++n) ExpectDone(b.Item(n));
    EXPECT_THAT(b.Shown(), ElementsAreArray(Wizard::MagScreen()));
    EXPECT_TRUE(b.form->timer().isActive());
    EXPECT_FALSE(b.Clear()->isHidden());
    EXPECT_EQ(b.form->focusWidget(), b.Clear());
    EXPECT_TRUE(b.Start()->isEnabled());
    EXPECT_EQ(b.Find<QGroupBox>("gbxMag")->palette().color(QPalette::Active, QPalette::WindowText),
              QColor(0, 0, 0));
    for (const char* name : kMagCaptions) EXPECT_TRUE(b.Find<QLabel>(name)->isEnabled());
    for (const char* name : kLegend) EXPECT_FALSE(b.Find<QWidget>(name)->isHidden()) << name;
    if (const char* dir = std::getenv("ZUL_APP_SCREENSHOT_DIR")) {
        b.form->grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/main_form_mag.png"));
    }
}

TEST(MainForm, CompleteRunAndTheNextUnit) {
    FormBench b;
    for (const test::ScreenAfter& s : test::kGoodRunScreens) {
        ASSERT_EQ(b.form->AdjStep(), s.step);
        b.ClickStart();
        EXPECT_THAT(b.Shown(), ElementsAreArray(s.lines)) << "click at " << s.step;
        if (s.step == 8) {
            b.form->Timer1Timer();
            b.form->Timer1Timer();
        }
        if (s.step == 10) {
            EXPECT_EQ(b.Exit()->text(), "Exit");
            EXPECT_EQ(b.Start()->text(), "Next");
            b.ExpectMagGroupInactive();
        }
    }
    EXPECT_THAT(b.Sent(), ElementsAre(0xB6, 0xB4,                                // erase
                                      0xA7, 0x05, 0x05, 0x05,                    // lever up
                                      0xA7, 0x05, 0x05, 0x05,                    // lever down
                                      0xA1, 0xC0, 0x05, 0xEE, 0xE0, 0xB0, 0xB4,  // white
                                      0xA2, 0x05, 0xB0, 0xB4,                    // black
                                      0xA3, 0xC1, 0x05, 0xEE, 0x05, 0xB0, 0xB4,  // non-paper
                                      0xA4, 0x05, 0x05, 0x05, 0xB0, 0xB4,        // mag
                                      0xA6, 0xB0, 0xB4));                        // motor
    EXPECT_EQ(b.form->AdjStep(), 0);
    EXPECT_EQ(b.Start()->text(), "Start");
    for (int n = 1; n <= kItemCount; ++n) EXPECT_TRUE(b.Item(n)->isEnabled()) << n;

    b.unit.ClearRecord();
    b.ClickStart();  // the next unit
    EXPECT_THAT(b.Sent(), ElementsAre(0xB6, 0xB4));
    EXPECT_EQ(b.form->AdjStep(), 1);
}

TEST(MainForm, EnterClicksTheFocusedButton) {
    FormBench b;
    ASSERT_NO_FATAL_FAILURE(b.Activate());
    // Return and the keypad's Enter, to whichever button has the focus.
    const auto press = [](Qt::Key key) {
        QTest::keyClick(QApplication::focusWidget(), key,
                        key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
    };
    ASSERT_EQ(QApplication::focusWidget(), b.Start());
    press(Qt::Key_Return);  // Start
    EXPECT_EQ(b.form->AdjStep(), 1);
    EXPECT_THAT(b.Sent(), ElementsAre(0xB6, 0xB4));
    press(Qt::Key_Enter);  // Next
    EXPECT_EQ(b.form->AdjStep(), 2);
    ASSERT_NO_FATAL_FAILURE(b.RunTo(9));
    ASSERT_EQ(QApplication::focusWidget(), b.Clear());
    b.unit.ClearRecord();
    press(Qt::Key_Return);  // Clear restarts the reading
    EXPECT_THAT(b.Sent(), ElementsAre(cmd::kOpenMag, cmd::kEnq));
    EXPECT_TRUE(b.form->timer().isActive());

    test::FaultOn(b.unit.profile(), cmd::kEnq, test::Silent());
    b.form->Timer1Timer();  // a failed poll disables Start
    ASSERT_EQ(b.form->AdjStep(), -1);
    b.unit.ClearRecord();
    QTest::keyClick(b.Start(), Qt::Key_Return);
    EXPECT_EQ(b.form->AdjStep(), -1);
    EXPECT_TRUE(b.Sent().empty());
    b.Exit()->setFocus();
    press(Qt::Key_Enter);  // Cancel
    b.ExpectIdle();
}

TEST(MainForm, ComPortMenuShowsTheDialogModallyWhileTheMagDisplayPolls) {
    test::TemporaryDirectory dir;
    test::RecordingMessageSink messages;
    FormBench b;
    TRs232cForm dialog(b.port, messages, dir.File(kSettingsFileName));
    b.form->SetDialogs(&dialog, nullptr);
    ASSERT_NO_FATAL_FAILURE(b.RunTo(9));
    b.unit.ClearRecord();
    bool modal = false;
    std::vector<uint8_t> sent;
    // Three ticks of Timer1 fall while the dialog is open.
    b.ChooseOption(Qt::Key_C, 3 * 500 + 250, [&] {
        modal = QApplication::activeModalWidget() == &dialog;
        sent = b.Sent();
        dialog.reject();
    });
    EXPECT_TRUE(modal);
    EXPECT_GE(sent.size(), 2u);
    EXPECT_THAT(sent, Each(cmd::kEnq));  // polls only
    EXPECT_TRUE(b.form->timer().isActive());
    EXPECT_EQ(b.form->AdjStep(), 9);
    EXPECT_TRUE(messages.boxes.empty());
}

TEST(MainForm, VersionMenuShowsTheVersionLineModally) {
    FormBench b;
    TVersionForm version;
    b.form->SetDialogs(nullptr, &version);
    version.SetVersionText(QStringLiteral("Version 1.xx"));
    QString shown;
    ASSERT_NO_FATAL_FAILURE(b.ChooseOption(Qt::Key_V, 0, [&] {
        if (QApplication::activeModalWidget() == &version) shown = version.VersionText();
        version.reject();
    }));
    EXPECT_EQ(shown, TVersionForm::VersionLine());
    b.Find<QAction>("COMport1")->trigger();  // no dialog given: nothing happens
}

TEST(MainForm, ResultAreaTrimsAndClears) {
    FormBench b;
    b.form->TrimResult(1);
    EXPECT_THAT(b.Shown(), ElementsAre("ZUL-1x Adjustment Program"));
    b.form->TrimResult(5);
    EXPECT_THAT(b.Shown(), ElementsAre("ZUL-1x Adjustment Program"));
    b.form->result().Append("");
    EXPECT_THAT(b.Shown(), ElementsAre("ZUL-1x Adjustment Program", ""));
    b.form->ClearResult();
    EXPECT_TRUE(b.Shown().empty());
    EXPECT_EQ(b.Find<QPlainTextEdit>("memResult")->toPlainText(), "");
    b.form->result().Append("");
    EXPECT_THAT(b.form->result().Lines(), ElementsAre(""));
}

}  // namespace
}  // namespace zul
