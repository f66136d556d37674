#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QObject>
#include <QString>
#include <QTest>
#include <QTimer>
#include <functional>
#include <utility>
#include <vector>

namespace zul::test {

// An operator at a modal dialog that is about to open (its exec() blocks
// whoever opens it): once it is shown, each step runs in turn inside the
// dialog's own event loop. Its timers belong to an object of its own, so
// none outlives it. While it lives, a modal dialog that it has no steps for,
// or that is still open 5 s after its last step, is rejected and the test
// fails: a dialog nobody answers never hangs a suite.
class DialogOperator {
public:
    using Step = std::function<void(QDialog& dialog)>;

    DialogOperator() {
        guard_.setInterval(50);
        QObject::connect(&guard_, &QTimer::timeout, &timers_, [this] { Guard(); });
        guard_.start();
    }

    // The steps for the next modal dialog.
    void OnNextDialog(std::vector<Step> steps) {
        steps_ = std::move(steps);
        next_ = 0;
        const int round = ++round_;
        QTimer::singleShot(0, &timers_, [this, round] { Next(round); });
    }
    // The steps are done or given up.
    void Stop() { ++round_; }

    // What a barcode scanner does: each character 5 ms after the last, into
    // the widget that has the keyboard focus, then Enter.
    static void Scan(const QString& code) {
        QWidget* target = QApplication::focusWidget();
        ASSERT_NE(target, nullptr) << "nothing has the keyboard focus";
        QTest::keyClicks(target, code, Qt::NoModifier, 5);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    }
    static void Press(Qt::Key key) {
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        QTest::keyClick(QApplication::focusWidget(), key);
    }

private:
    void Guard() {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible()) {
            idle_ = 0;
            return;
        }
        const bool waiting = next_ == 0 && !steps_.empty();
        if (waiting || ++idle_ < 100) return;
        ADD_FAILURE() << "a dialog nobody answers: " << dialog->windowTitle().toStdString();
        idle_ = 0;
        dialog->reject();
    }

    void Next(int round) {
        if (round != round_) return;
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible()) {  // not yet shown: come back
            if (next_ == 0) QTimer::singleShot(1, &timers_, [this, round] { Next(round); });
            return;
        }
        // The window manager's part: the dialog that opened becomes the
        // active window (the offscreen platform has no window manager).
        if (QApplication::activeWindow() != dialog) QApplication::setActiveWindow(dialog);
        if (next_ < steps_.size()) {
            const size_t step = next_++;
            idle_ = 0;
            steps_[step](*dialog);
            if (next_ == steps_.size()) steps_.clear();
            QTimer::singleShot(0, &timers_, [this, round] { Next(round); });
        }
    }

    QObject timers_;
    QTimer guard_;
    int idle_ = 0;  // guard ticks a shown dialog has had no step
    std::vector<Step> steps_;
    size_t next_ = 0;
    int round_ = 0;
};

}  // namespace zul::test
