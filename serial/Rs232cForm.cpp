#include "serial/Rs232cForm.h"

#include <QButtonGroup>
#include <QFont>
#include <QRadioButton>
#include <utility>

#include "ui_Rs232cForm.h"

namespace {

// What the groups show for the line settings; the index is the entry's.
constexpr std::array<int32_t, 5> kBaudEntries = {1200, 2400, 9600, 19200, 38400};
constexpr std::array<const char*, 7> kPortEntries = {"COM1", "COM2", "COM3", "COM4",
                                                     "COM5", "COM6", "COM7"};
// Parity group entries: "Non", "Even", "Odd".
constexpr std::array<uint8_t, 3> kParityEntries = {zul::kNoParity, zul::kEvenParity,
                                                   zul::kOddParity};
// Stop-bit group entries: "1 stop", "2 stop".
constexpr std::array<uint8_t, 2> kStopBitEntries = {zul::kOneStopBit, zul::kTwoStopBits};

template <typename T, size_t N>
int IndexOf(const std::array<T, N>& entries, const T& value) {
    for (size_t i = 0; i < N; ++i) {
        if (entries[i] == value) return static_cast<int>(i);
    }
    return -1;
}

int PortIndexOf(const std::string& name) {
    for (size_t i = 0; i < kPortEntries.size(); ++i) {
        if (name == kPortEntries[i]) return static_cast<int>(i);
    }
    return 0;  // any other name shows "COM-1"
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
    shown.port = groups_[kPortGroup]->checkedId();
    shown.baud = groups_[kBaudGroup]->checkedId();
    shown.stopBits = groups_[kStopBitGroup]->checkedId();
    shown.parity = groups_[kParityGroup]->checkedId();
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
    const int checked = groups_[group]->checkedId();
    switch (group) {
        case kPortGroup:
            only.port = checked;
            break;
        case kBaudGroup:
            only.baud = checked;
            break;
        case kParityGroup:
            only.parity = checked;
            break;
        case kStopBitGroup:
            only.stopBits = checked;
            break;
        case kGroupCount:
            return;
    }
    session_.ApplySelection(only);
}

void TRs232cForm::ShowSelection(const zul::LineSettings& line) {
    zul::PortSettings indexes;
    indexes.port = PortIndexOf(line.portName);
    indexes.baud = IndexOf(kBaudEntries, line.baudRate);
    indexes.stopBits = IndexOf(kStopBitEntries, line.stopBits);
    indexes.parity = IndexOf(kParityEntries, line.parity);
    ShowIndexes(indexes);
}

void TRs232cForm::ShowIndexes(const zul::PortSettings& indexes) {
    const auto check = [this](Group group, int index) {
        if (QAbstractButton* radio = groups_[group]->button(index)) radio->setChecked(true);
    };
    check(kPortGroup, indexes.port);
    check(kBaudGroup, indexes.baud);
    check(kStopBitGroup, indexes.stopBits);
    check(kParityGroup, indexes.parity);
}
