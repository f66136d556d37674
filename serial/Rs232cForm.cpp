#include "serial/Rs232cForm.h"

#include <QButtonGroup>
#include <QFont>
#include <QRadioButton>
#include <algorithm>
#include <utility>

#include "ui_Rs232cForm.h"

namespace {

// The selection field of each group, in the order of TRs232cForm::Group.
constexpr int zul::PortSettings::*kFields[] = {&zul::PortSettings::port, &zul::PortSettings::baud,
                                               &zul::PortSettings::parity,
                                               &zul::PortSettings::stopBits};

// The entry of group whose line value valueFor gives value, or -1.
template <typename T, typename U>
int EntryOf(const QButtonGroup& group, T (*valueFor)(int), const U& value) {
    for (int i = 0; i < group.buttons().size(); ++i) {
        if (valueFor(i) == value) return i;
    }
    return -1;
}

}  // namespace

TRs232cForm::TRs232cForm(zul::SerialPort& port, zul::MessageSink& messages,
                         std::string settingsPath, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      ui(std::make_unique<Ui::TRs232cForm>()),
      session_(port, messages, std::move(settingsPath)) {
    ui->setupUi(this);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(12);
    setFont(font);
    setFixedSize(384, 190);

    QGroupBox* const boxes[kGroupCount] = {ui->SelRsCom, ui->SelRsBps, ui->SelRsParity,
                                           ui->SelStopBit};
    for (int g = 0; g < kGroupCount; ++g) {
        auto* group = new QButtonGroup(this);
        const QString prefix = boxes[g]->objectName() + QLatin1Char('_');
        for (int i = 0;; ++i) {
            auto* radio = boxes[g]->findChild<QRadioButton*>(prefix + QString::number(i));
            if (radio == nullptr) break;
            group->addButton(radio, i);
        }
        groups_[g] = group;
    }
    connect(groups_[kPortGroup], &QButtonGroup::idClicked, this, &TRs232cForm::SelRsComClick);
    connect(groups_[kBaudGroup], &QButtonGroup::idClicked, this, &TRs232cForm::SelRsBpsClick);
    connect(groups_[kParityGroup], &QButtonGroup::idClicked, this, &TRs232cForm::SelRsParityClick);
    connect(groups_[kStopBitGroup], &QButtonGroup::idClicked, this, &TRs232cForm::SelStopBitClick);
    connect(ui->OkBtn, &QPushButton::clicked, this, &TRs232cForm::OkBtnClick);
    connect(ui->CloseBtn, &QPushButton::clicked, this, &TRs232cForm::reject);

    FormCreate();
}

TRs232cForm::~TRs232cForm() = default;

zul::PortSettings TRs232cForm::ShownSelection() const {
    zul::PortSettings shown;
    for (int g = 0; g < kGroupCount; ++g) shown.*kFields[g] = groups_[g]->checkedId();
    return shown;
}

void TRs232cForm::FormCreate() {
    session_.FormCreate();
    ShowIndexes(session_.selection());
}

void TRs232cForm::OkBtnClick() {
    session_.Ok(ShownSelection());
    accept();
}

void TRs232cForm::CloseBtnClick() {
    session_.Cancel();
    ShowSelection(session_.line());
}

void TRs232cForm::reject() {
    CloseBtnClick();
    QDialog::reject();
}

void TRs232cForm::SelRsComClick() {
    ApplyGroup(kPortGroup);
}
void TRs232cForm::SelRsBpsClick() {
    ApplyGroup(kBaudGroup);
}
void TRs232cForm::SelRsParityClick() {
    ApplyGroup(kParityGroup);
}
void TRs232cForm::SelStopBitClick() {
    ApplyGroup(kStopBitGroup);
}

void TRs232cForm::ApplyGroup(Group group) {
    zul::PortSettings only{-1, -1, -1, -1};
    only.*kFields[group] = groups_[group]->checkedId();
    session_.ApplySelection(only);
}

void TRs232cForm::ShowSelection(const zul::LineSettings& line) {
    zul::PortSettings indexes;
    // Any port name outside the list shows "COM-1".
    indexes.port = std::max(0, EntryOf(*groups_[kPortGroup], zul::PortNameForIndex, line.portName));
    indexes.baud = EntryOf(*groups_[kBaudGroup], zul::BaudRateForIndex, line.baudRate);
    indexes.parity = EntryOf(*groups_[kParityGroup], zul::ParityForIndex, line.parity);
    indexes.stopBits = EntryOf(*groups_[kStopBitGroup], zul::StopBitsForIndex, line.stopBits);
    ShowIndexes(indexes);
}

void TRs232cForm::ShowIndexes(const zul::PortSettings& indexes) {
    for (int g = 0; g < kGroupCount; ++g) {
        if (QAbstractButton* radio = groups_[g]->button(indexes.*kFields[g]))
            radio->setChecked(true);
    }
}
