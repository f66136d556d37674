#include "app/GuardedApplication.h"

#include <QMessageBox>
#include <stdexcept>

namespace zul {

namespace {
constexpr const char* kProgramName = "ZUL10";
}

GuardedApplication::GuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QString::fromLatin1(kProgramName));
}

bool GuardedApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowException(std::current_exception());
        quit();
        return false;
    }
}

QString GuardedApplication::MessageOf(std::exception_ptr error) {
    if (!error) return {};
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return {};
    }
}

void GuardedApplication::ShowException(std::exception_ptr error) {
    QMessageBox::critical(nullptr, QString::fromLatin1(kProgramName), MessageOf(error));
}

}  // namespace zul
