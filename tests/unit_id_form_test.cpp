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
#include "mock/TestApplication.h"

namespace {

// Runs each step in turn inside the dialog's own event loop, once the
// dialog is shown, then asks. The timers belong to the dialog, so none
// outlives it, and each question has its own round of them.
class Operator {
public:
    explicit Operator(TUnitIdForm& form) : form_(form) {}

    std::optional<std::string> Ask(std::vector<std::function<void()>> steps) {
        steps_ = std::move(steps);
        next_ = 0;
        const int round = ++round_;
        QTimer::singleShot(0, &form_, [this, round] { Next(round); });
        // A dialog that failed to close would hang the suite.
        QTimer::singleShot(5000, &form_, [this, round] {
            if (round != round_ || !form_.isVisible()) return;
            ADD_FAILURE() << "the dialog is still open";
            form_.reject();
        });
        const auto id = form_.Ask();
        ++round_;  // what is still queued of this question does nothing
        return id;
    }

    // What a scanner does: each character 5 ms after the last, into the
    // widget that has the keyboard focus, then Enter.
    static void Scan(const QString& code) {
        QWidget* target = QApplication::focusWidget();
        ASSERT_NE(target, nullptr);
        QTest::keyClicks(target, code, Qt::NoModifier, 5);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    }

private:
    void Next(int round) {
        if (round != round_) return;
        if (!form_.isVisible()) {  // not yet shown: come back
            QTimer::singleShot(1, &form_, [this, round] { Next(round); });
            return;
        }
        // The window manager's part: the dialog that opened becomes the
        // active window (the offscreen platform has no window manager).
        if (QApplication::activeWindow() != &form_) QApplication::setActiveWindow(&form_);
        if (next_ < steps_.size()) {
            const size_t step = next_++;
            steps_[step]();
            QTimer::singleShot(0, &form_, [this, round] { Next(round); });
        }
    }

    TUnitIdForm& form_;
    std::vector<std::function<void()>> steps_;
    size_t next_ = 0;
    int round_ = 0;
};

class UnitIdFormTest : public ::testing::Test {
protected:
    QLineEdit* Edit(TUnitIdForm& form) { return form.findChild<QLineEdit*>("edtUnitId"); }
    QString Problem(TUnitIdForm& form) { return form.findChild<QLabel*>("lblProblem")->text(); }
    QApplication& app_ = zul::test::TestApplication();
};

TEST_F(UnitIdFormTest, AScannerTypingFastThenEnterGivesTheNumber) {
    TUnitIdForm form;
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Unit serial number"));
    Operator op(form);
    bool focused = false;
    QElapsedTimer typing;
    const auto id = op.Ask({[&] {
        focused = QApplication::focusWidget() == Edit(form);
        typing.start();
        Operator::Scan(QStringLiteral("ZA-0012345"));
    }});
    EXPECT_TRUE(focused);
    EXPECT_EQ(id, "ZA-0012345");
    EXPECT_GE(typing.elapsed(), 10 * 5);  // really typed at the scanner's pace
    EXPECT_FALSE(form.isVisible());

    // The next unit's Start finds the dialog empty again.
    const auto second = op.Ask({[&] {
        EXPECT_TRUE(Edit(form)->text().isEmpty());
        Operator::Scan(QStringLiteral("ZA-0012346"));
    }});
    EXPECT_EQ(second, "ZA-0012346");
}

TEST_F(UnitIdFormTest, EscAndCancelGiveNoNumber) {
    TUnitIdForm form;
    Operator op(form);
    EXPECT_EQ(op.Ask({[&] {
        QTest::keyClicks(Edit(form), "ZA1");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    }}),
              std::nullopt);
    EXPECT_EQ(op.Ask({[&] {
        QTest::keyClicks(Edit(form), "ZA1");
        form.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->click();
    }}),
              std::nullopt);
}

TEST_F(UnitIdFormTest, AnEmptyNumberIsRefusedAndTheDialogStays) {
    TUnitIdForm form;
    Operator op(form);
    bool stayed = false;
    const auto id = op.Ask({[&] { Operator::Scan("   "); },
                            [&] {
                                stayed = form.isVisible() && !Problem(form).isEmpty();
                                Operator::Scan("ZA7");
                            }});
    EXPECT_TRUE(stayed);
    EXPECT_EQ(id, "ZA7");  // the blanks were selected and typed over
}

TEST_F(UnitIdFormTest, ANumberOffThePatternIsRefusedSelectedAndTypedOver) {
    TUnitIdForm form("ZA[0-9]{6}");
    ASSERT_TRUE(form.PatternValid());
    Operator op(form);
    QString shown, selected;
    const auto id = op.Ask({[&] { Operator::Scan("ZA12345"); },    // one digit short
                            [&] { Operator::Scan("xZA123456"); },  // the pattern is whole
                            [&] {
                                shown = Problem(form);
                                selected = Edit(form)->selectedText();
                                Operator::Scan("ZA123456");
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
    Operator op(form);
    EXPECT_EQ(op.Ask({[&] { Operator::Scan("anything"); }}), "anything");
}

}  // namespace
