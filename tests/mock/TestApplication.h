#pragma once

#include <QApplication>

namespace zul::test {

// The one QApplication of a widget test executable, made on first use.
inline QApplication& TestApplication() {
    static int argc = 1;
    static char name[] = "widget_test";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

}  // namespace zul::test
