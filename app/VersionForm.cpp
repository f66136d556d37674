#include "app/VersionForm.h"

#include <QFont>

#include "ProgramVersion.h"
#include "app/Logo.h"
#include "ui_VersionForm.h"

namespace {

constexpr const char* kVersionPrefix = "Version ";

}  // namespace

TVersionForm::TVersionForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      ui(std::make_unique<Ui::TVersionForm>()) {
    ui->setupUi(this);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(13);
    setFont(font);
    setFixedSize(267, 90);
    ui->Image1->setPixmap(zul::DrawLogo());
    // The labels keep their left and top and take the width of their text.
    ui->Label1->adjustSize();
    ui->Label2->adjustSize();
    ui->Label3->adjustSize();
}

TVersionForm::~TVersionForm() = default;

void TVersionForm::SetVersionText(const QString& text) {
    ui->Label3->setText(text);
    ui->Label3->adjustSize();
}

QString TVersionForm::VersionText() const {
    return ui->Label3->text();
}

QString TVersionForm::VersionLine() {
    return QString::fromLatin1(kVersionPrefix) + QString::fromLatin1(zul::kProgramVersion) +
           QString::fromLatin1(zul::kRevisionSuffix);
}
