// The serial-number dialog as a barcode scanner uses it: typed fast into
// the line edit with the focus, Enter at the end.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <vector>

#include "app/UnitIdForm.h"
#include "mock/DialogOperator.h"
#include "mock/TestApplication.h"

namespace {

using zul::test::DialogOperator;

// The form's question, answered by the steps of an operator.
std::optional<std::string> Ask(TUnitIdForm& form, std::vector<DialogOperator::Step> steps) {
    DialogOperator op;
    op.OnNextDialog(std::move(steps));
    return form.Ask();
}

class UnitIdFormTest : public ::testing::Test {
protected:
    QLineEdit* Edit(TUnitIdForm& form) { return form.findChild<QLineEdit*>("edtUnitId"); }
    QString Problem(TUnitIdForm& form) { return form.findChild<QLabel*>("lblProblem")->text(); }
    QApplication& app_ = zul::test::TestApplication();
};

TEST_F(UnitIdFormTest, AScannerTypingFastThenEnterGivesTheNumber) {
    TUnitIdForm form;
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Unit serial number"));
    bool focused = false;
    QElapsedTimer typing;
    const auto id = Ask(form, {[&](QDialog&) {
                            focused = QApplication::focusWidget() == Edit(form);
                            typing.start();
                            DialogOperator::Scan(QStringLiteral("ZA-0012345"));
                        }});
    EXPECT_TRUE(focused);
    EXPECT_EQ(id, "ZA-0012345");
    EXPECT_GE(typing.elapsed(), 10 * 5);  // really typed at the scanner's pace
    EXPECT_FALSE(form.isVisible());

    // The next unit's Start finds the dialog empty again.
    const auto second = Ask(form, {[&](QDialog&) {
                                EXPECT_TRUE(Edit(form)->text().isEmpty());
                                DialogOperator::Scan(QStringLiteral("ZA-0012346"));
                            }});
    EXPECT_EQ(second, "ZA-0012346");
}

TEST_F(UnitIdFormTest, EscAndCancelGiveNoNumber) {
    TUnitIdForm form;
    EXPECT_EQ(Ask(form, {[&](QDialog&) {
                      QTest::keyClicks(Edit(form), "ZA1");
                      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
                  }}),
              std::nullopt);
    EXPECT_EQ(
        Ask(form, {[&](QDialog&) {
                QTest::keyClicks(Edit(form), "ZA1");
                form.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->click();
            }}),
        std::nullopt);
}

TEST_F(UnitIdFormTest, AnEmptyNumberIsRefusedAndTheDialogStays) {
    TUnitIdForm form;
    bool stayed = false;
    const auto id = Ask(form, {[&](QDialog&) { DialogOperator::Scan("   "); },
                               [&](QDialog&) {
                                   stayed = form.isVisible() && !Problem(form).isEmpty();
                                   DialogOperator::Scan("ZA7");
                               }});
    EXPECT_TRUE(stayed);
    EXPECT_EQ(id, "ZA7");  // the blanks were selected and typed over
}

TEST_F(UnitIdFormTest, ANumberOffThePatternIsRefusedSelectedAndTypedOver) {
    TUnitIdForm form("ZA[0-9]{6}");
    ASSERT_TRUE(form.PatternValid());
    QString shown, selected;
    const auto id =
        Ask(form, {[&](QDialog&) { DialogOperator::Scan("ZA12345"); },    // one digit short
                   [&](QDialog&) { DialogOperator::Scan("xZA123456"); },  // the pattern is whole
                   [&](QDialog&) {
                       shown = Problem(form);
                       selected = Edit(form)->selectedText();
                       DialogOperator::Scan("ZA123456");
                   }});
    EXPECT_EQ(id, "ZA123456");
    EXPECT_TRUE(shown.contains(QStringLiteral("xZA123456"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("ZA[0-9]{6}"))) << shown.toStdString();
    EXPECT_EQ(selected, QStringLiteral("xZA123456"));
}

TEST_F(UnitIdFormTest, ABrokenPatternIsToldAndNumbersAreTakenWithoutIt) {
    TUnitIdForm form("ZA[0-9");
    EXPECT_FALSE(form.PatternValid());
    EXPECT_FALSE(form.PatternError().isEmpty());
    EXPECT_EQ(Ask(form, {[&](QDialog&) { DialogOperator::Scan("anything"); }}), "anything");
}

}  // namespace
