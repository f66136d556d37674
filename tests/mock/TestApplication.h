#pragma once

#include <QApplication>

namespace zul::test {

// The one QApplication of a widget test executable, made on first use and
// never destroyed: Qt's own process-wide objects (the test input devices) go
// away at exit after it, and must find it still there.
inline QApplication& TestApplication() {
    static int argc = 1;
    static char name[] = "widget_test";
    static char* argv[] = {name, nullptr};
    static QApplication* const app = new QApplication(argc, argv);
    return *app;
}

}  // namespace zul::test
