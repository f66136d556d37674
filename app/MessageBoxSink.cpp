#include "app/MessageBoxSink.h"

#include <QMessageBox>
#include <QString>

namespace zul {

void MessageBoxSink::ShowExclamation(std::string_view caption, std::string_view text) {
    QMessageBox box(QMessageBox::Warning,
                    QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())),
                    QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                    QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
}

}  // namespace zul
