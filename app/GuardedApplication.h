#pragma once

#include <QApplication>
#include <QString>
#include <exception>

namespace zul {

// The application object of the program. An exception that escapes an event
// handler is caught where the event is delivered, shown in the standard
// error box, and ends the event loop (the program then exits with code 0).
class GuardedApplication final : public QApplication {
    Q_OBJECT

public:
    // argc and argv must outlive the application object.
    GuardedApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // The message shown for an exception: what() of a std::exception, the
    // empty string for any other kind.
    static QString MessageOf(std::exception_ptr error);

    // The standard error box: critical icon, the program's name as caption,
    // the exception's message, an OK button. Returns when it is closed.
    static void ShowException(std::exception_ptr error);
};

}  // namespace zul
