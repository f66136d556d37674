#include "app/UnitIdForm.h"

#include <QDialogButtonBox>
#include <QFont>
#include <QLineEdit>
#include <QPushButton>

#include "ui_UnitIdForm.h"

TUnitIdForm::TUnitIdForm(const std::string& pattern, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      ui(std::make_unique<Ui::TUnitIdForm>()) {
    ui->setupUi(this);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(13);
    setFont(font);
    QFont large = ui->edtUnitId->font();
    large.setPixelSize(16);
    ui->edtUnitId->setFont(large);
    QPalette palette = ui->lblProblem->palette();
    palette.setColor(QPalette::WindowText, QColor(255, 0, 0));
    ui->lblProblem->setPalette(palette);
    connect(ui->btnsOkCancel, &QDialogButtonBox::accepted, this, &TUnitIdForm::accept);
    connect(ui->btnsOkCancel, &QDialogButtonBox::rejected, this, &TUnitIdForm::reject);
    // Enter anywhere in the dialog is OK.
    ui->btnsOkCancel->button(QDialogButtonBox::Ok)->setDefault(true);

    if (!pattern.empty()) {
        patternText_ = QString::fromStdString(pattern);
        pattern_.setPattern(QRegularExpression::anchoredPattern(patternText_));
        if (!pattern_.isValid()) {
            patternError_ = pattern_.errorString();
            pattern_ = QRegularExpression();
        }
    }
}

TUnitIdForm::~TUnitIdForm() = default;

std::unique_ptr<TUnitIdForm> TUnitIdForm::ForStation(bool scan, const std::string& pattern,
                                                     zul::MessageSink& messages, QWidget* parent) {
    if (!scan) return nullptr;
    auto form = std::make_unique<TUnitIdForm>(pattern, parent);
    if (!form->PatternValid()) {
        messages.ShowExclamation(kPatternCaption, "The serial number pattern\n" + pattern +
                                                      "\nis no regular expression (" +
                                                      form->PatternError().toStdString() +
                                                      ").\nSerial numbers are taken without it.");
    }
    return form;
}

QString TUnitIdForm::UnitId() const {
    return ui->edtUnitId->text().trimmed();
}

std::optional<std::string> TUnitIdForm::Ask() {
    ui->edtUnitId->clear();
    ui->lblProblem->clear();
    // The scanner types into whatever has the keyboard: the dialog takes it
    // as it opens, and the line edit has the focus.
    show();
    activateWindow();
    ui->edtUnitId->setFocus();
    if (exec() != QDialog::Accepted) return std::nullopt;
    return UnitId().toStdString();
}

void TUnitIdForm::accept() {
    const QString id = UnitId();
    QString problem;
    if (id.isEmpty()) {
        problem = QStringLiteral("Scan or type the serial number first.");
    } else if (!pattern_.pattern().isEmpty() && !pattern_.match(id).hasMatch()) {
        problem = QStringLiteral("\"%1\" is not a serial number of this line.\nIt must match %2")
                      .arg(id, patternText_);
    }
    if (problem.isEmpty()) {
        QDialog::accept();
        return;
    }
    ui->lblProblem->setText(problem);
    ui->edtUnitId->selectAll();
    ui->edtUnitId->setFocus();
}
