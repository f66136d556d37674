#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <stdexcept>
#include <string>

#include "app/GuardedApplication.h"

namespace {

using zul::GuardedApplication;

TEST(GuardedApplication, ShowsWhatAStdExceptionSays) {
    EXPECT_EQ(
        GuardedApplication::MessageOf(std::make_exception_ptr(std::runtime_error("Out of memory"))),
        QStringLiteral("Out of memory"));
    EXPECT_EQ(GuardedApplication::MessageOf(std::make_exception_ptr(std::bad_alloc())),
              QString::fromUtf8(std::bad_alloc().what()));
}

TEST(GuardedApplication, ShowsAnEmptyMessageForAnyOtherKind) {
    EXPECT_EQ(GuardedApplication::MessageOf(std::make_exception_ptr(42)), QString());
    EXPECT_EQ(GuardedApplication::MessageOf(std::make_exception_ptr(std::string("text"))),
              QString());
    EXPECT_EQ(GuardedApplication::MessageOf(nullptr), QString());
}

// The program's own application object, with an event handler that throws:
// the standard error box shows the message, and the event loop ends with 0.
TEST(GuardedApplication, ExceptionFromAnEventHandlerEndsInTheErrorBoxAndExitCode0) {
    int argc = 1;
    char name[] = "zul10";
    char* argv[] = {name, nullptr};
    GuardedApplication app(argc, argv);
    QTimer handler;
    handler.setSingleShot(true);
    QObject::connect(&handler, &QTimer::timeout, [] { throw std::runtime_error("Out of memory"); });
    handler.start(0);
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString caption;
    QString text;
    QTimer watch;  // closes the box once it is up
    QObject::connect(&watch, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        icon = box->icon();
        caption = box->windowTitle();
        text = box->text();
        box->accept();
    });
    watch.start(10);
    EXPECT_EQ(app.exec(), 0);
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(caption, QStringLiteral("ZUL10"));
    EXPECT_EQ(text, QStringLiteral("Out of memory"));
}

}  // namespace
