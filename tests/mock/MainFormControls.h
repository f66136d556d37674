#pragma once

#include <gtest/gtest.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "app/MainForm.h"

namespace zul::test {

// The main window of a bench and its controls by name. The bench makes form
// and destroys it first, while the port and clock it was given still exist.
struct MainFormControls {
    template <typename T>
    T* Find(const char* name) const {
        T* widget = form->findChild<T*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QPushButton* Start() const { return Find<QPushButton>("btnStart"); }
    QPushButton* Exit() const { return Find<QPushButton>("btnExit"); }
    QPushButton* Clear() const { return Find<QPushButton>("btnClear"); }
    QString Text(const char* label) const { return Find<QLabel>(label)->text(); }
    int Bar(const char* bar) const { return Find<QProgressBar>(bar)->value(); }

    // What memResult shows, line by line.
    std::vector<std::string> Shown() const {
        const QString text = Find<QPlainTextEdit>("memResult")->toPlainText();
        std::vector<std::string> lines;
        if (form->result().Lines().empty()) return lines;
        for (const QString& line : text.split(QLatin1Char('\n')))
            lines.push_back(line.toStdString());
        return lines;
    }

    // The buttons and the timer at the idle screen, after a start, Cancel or
    // the "Change acceptor unit." screen.
    void ExpectIdleButtons() const {
        EXPECT_EQ(form->AdjStep(), 0);
        EXPECT_EQ(Start()->text(), "Start");
        EXPECT_EQ(Exit()->text(), "Exit");
        EXPECT_TRUE(Start()->isEnabled());
        EXPECT_TRUE(Exit()->isEnabled());
        EXPECT_TRUE(Clear()->isHidden());
        EXPECT_FALSE(form->timer().isActive());
    }

    std::unique_ptr<TMainForm> form;
};

}  // namespace zul::test
