#include "app/MainForm.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPalette>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <array>
#include <initializer_list>
#include <string_view>

#include "adjust/MagAdjustment.h"
#include "app/ArrowPixmaps.h"
#include "app/Logo.h"
#include "app/VersionForm.h"
#include "serial/Rs232cForm.h"
#include "ui_MainForm.h"

namespace {

// Size of the client area below the menu bar, in pixels.
constexpr int kClientWidth = 632;
constexpr int kClientHeight = 434;

// Font heights in pixels (the window definition holds the families).
constexpr int kWindowFontPx = 12;
constexpr int kLargeFontPx = 16;
constexpr int kSmallFontPx = 15;

const QColor kCurrentItemColour(0, 0, 255);
const QColor kInactiveGroupColour(128, 128, 128);
const QColor kActiveGroupColour(0, 0, 0);
const QColor kNgColour(255, 0, 0);
const QColor kOkColour(0, 128, 0);
// The number fields are filled with the system caption-text colour.
const QColor kValueBackground(255, 255, 255);

std::unique_ptr<Ui::TMainForm> SetUpUi(QMainWindow* window) {
    auto ui = std::make_unique<Ui::TMainForm>();
    ui->setupUi(window);
    return ui;
}

void SetPixelSize(int pixels, std::initializer_list<QWidget*> controls) {
    for (QWidget* control : controls) {
        QFont font = control->font();
        font.setPixelSize(pixels);
        control->setFont(font);
    }
}

void SetColour(QWidget& widget, QPalette::ColorRole role, const QColor& colour) {
    QPalette palette = widget.palette();
    palette.setColor(role, colour);
    widget.setPalette(palette);
}

// Sets the colour of role for the active and inactive states only, so a
// disabled control keeps the toolkit's greyed colour.
void SetEnabledColour(QWidget& widget, QPalette::ColorRole role, const QColor& colour) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Active, role, colour);
    palette.setColor(QPalette::Inactive, role, colour);
    widget.setPalette(palette);
}

void SetBold(QWidget& widget, bool bold) {
    QFont font = widget.font();
    font.setBold(bold);
    widget.setFont(font);
}

}  // namespace

TMainForm::TMainForm(zul::SerialPort& port, zul::Clock& clock, zul::RunRecorder& records,
                     QWidget* parent)
    : QMainWindow(parent),
      ui(SetUpUi(this)),
      Timer1(this),
      link_(port, data_.reply),
      result_(*ui->memResult),
      magView_(*ui->lblMagPeak, *ui->lblMagAD, *ui->prbMagPeak, *ui->prbMagAD),
      ctx_{link_, data_, result_, clock, records},
      wizard_(*this, ctx_) {
    ApplyFixedLook();

    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer1.setInterval(zul::kMagPollIntervalMs);
    connect(&Timer1, &QTimer::timeout, this, &TMainForm::Timer1Timer);

    connect(ui->btnStart, &QPushButton::clicked, this, &TMainForm::btnStartClick);
    connect(ui->btnExit, &QPushButton::clicked, this, &TMainForm::btnExitClick);
    connect(ui->btnClear, &QPushButton::clicked, this, &TMainForm::btnClearClick);
    connect(ui->Start1, &QAction::triggered, this, &TMainForm::Start1Click);
    connect(ui->Exit1, &QAction::triggered, this, &TMainForm::Exit1Click);
    connect(ui->COMport1, &QAction::triggered, this, &TMainForm::COMport1Click);
    connect(ui->Version1, &QAction::triggered, this, &TMainForm::Version1Click);

    ResetMagValues();
    FormCreate();
}

TMainForm::~TMainForm() = default;

void TMainForm::ApplyFixedLook() {
    SetPixelSize(kWindowFontPx, {this});
    SetPixelSize(kLargeFontPx, {ui->gbxAdjItem, ui->btnStart, ui->btnExit, ui->memResult,
                                ui->gbxMag, ui->lblMagPeak, ui->lblMagAD, ui->btnClear});
    SetPixelSize(kSmallFontPx, {ui->lblAdjItem1, ui->lblAdjItem2, ui->lblAdjItem3, ui->lblAdjItem4,
                                ui->lblAdjItem5, ui->lblAdjItem6, ui->lblAdjItem7,
                                ui->lblTitleMagPeak, ui->lblMagPeak2, ui->lblTitleMagAD,
                                ui->lblMagAD2, ui->lblNG, ui->lblOK, ui->lblNG2});
    QFont fixed = ui->memResult->font();
    fixed.setStyleHint(QFont::TypeWriter);
    fixed.setFixedPitch(true);
    ui->memResult->setFont(fixed);

    for (QLabel* value : {ui->lblMagPeak, ui->lblMagAD}) {
        SetColour(*value, QPalette::Window, kValueBackground);
        SetColour(*value, QPalette::WindowText, Qt::black);
    }
    SetColour(*ui->lblNG, QPalette::WindowText, kNgColour);
    SetColour(*ui->lblNG2, QPalette::WindowText, kNgColour);
    SetColour(*ui->lblOK, QPalette::WindowText, kOkColour);
    SetColour(*ui->shpOkNg, QPalette::Window, Qt::black);
    SetColour(*ui->shpOkNg2, QPalette::Window, Qt::black);
    ui->imgLeft->setPixmap(ArrowPixmap(ArrowKind::Left));
    ui->imgRight->setPixmap(ArrowPixmap(ArrowKind::Right));
    ui->imgLR->setPixmap(ArrowPixmap(ArrowKind::Both));
    DisableMagGroup();

    setWindowIcon(zul::ProgramIcon());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    // The menu bar lies above the client area; its layout height decides the frame.
    QMenuBar* bar = menuBar();
    int menuHeight = bar->heightForWidth(kClientWidth);
    if (menuHeight < 0) menuHeight = bar->sizeHint().height();
    setFixedSize(kClientWidth, kClientHeight + menuHeight);
}

void TMainForm::FormCreate() {
    ShowIdleScreen();
}

void TMainForm::SetDialogs(TRs232cForm* rs232c, TVersionForm* version) {
    rs232c_ = rs232c;
    version_ = version;
}

// Display routines

void TMainForm::ClearResult() {
    result_.Clear();
}

void TMainForm::TrimResult(std::size_t index) {
    result_.Trim(index);
}

void TMainForm::ShowIdleScreen() {
    zul::ShowIdleScreen(result_);
}

void TMainForm::ResetMagValues() {
    ui->lblMagAD->setText(QString());
    ui->lblMagPeak->setText(QString());
    ui->prbMagPeak->setValue(0);
    ui->prbMagAD->setValue(0);
}

void TMainForm::EnableMagGroup() {
    SetMagGroupActive(true);
}

void TMainForm::DisableMagGroup() {
    SetMagGroupActive(false);
}

void TMainForm::SetMagGroupActive(bool active) {
    const QColor& title = active ? kActiveGroupColour : kInactiveGroupColour;
    SetEnabledColour(*ui->gbxMag, QPalette::WindowText, title);
    SetEnabledColour(*ui->gbxMag, QPalette::Text, title);
    for (QLabel* label : {ui->lblTitleMagAD, ui->lblMagAD2, ui->lblTitleMagPeak, ui->lblMagPeak2})
        label->setEnabled(active);
    SetLegendVisible(active);
    ui->gbxMag->repaint();
}

void TMainForm::SetLegendVisible(bool visible) {
    const std::array<QWidget*, 8> legend{ui->lblOK,    ui->lblNG,   ui->lblNG2,   ui->shpOkNg,
                                         ui->shpOkNg2, ui->imgLeft, ui->imgRight, ui->imgLR};
    for (QWidget* control : legend) control->setVisible(visible);
}

// Handlers

void TMainForm::btnStartClick() {
    wizard_.StartClick();
}
void TMainForm::btnExitClick() {
    wizard_.ExitClick();
}
void TMainForm::btnClearClick() {
    wizard_.ClearClick();
}
void TMainForm::Timer1Timer() {
    wizard_.TimerTick();
}
void TMainForm::Start1Click() {
    wizard_.StartMenuClick();
}
void TMainForm::Exit1Click() {
    close();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    wizard_.WindowClosing();
    QMainWindow::closeEvent(event);
}

void TMainForm::COMport1Click() {
    if (rs232c_ != nullptr) rs232c_->exec();
}

void TMainForm::Version1Click() {
    if (version_ == nullptr) return;
    version_->SetVersionText(TVersionForm::VersionLine());
    version_->exec();
}

// The wizard's side of the window

namespace {
QString ToQString(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}
}  // namespace

void TMainForm::SetStartCaption(std::string_view caption) {
    ui->btnStart->setText(ToQString(caption));
}
void TMainForm::SetExitCaption(std::string_view caption) {
    ui->btnExit->setText(ToQString(caption));
}
// The buttons are repainted at once: while an item blocks the thread, the
// operator sees them disabled.
void TMainForm::SetStartEnabled(bool enabled) {
    ui->btnStart->setEnabled(enabled);
    ui->btnStart->repaint();
}
void TMainForm::SetExitEnabled(bool enabled) {
    ui->btnExit->setEnabled(enabled);
    ui->btnExit->repaint();
}
void TMainForm::FocusStart() {
    ui->btnStart->setFocus();
}
void TMainForm::SetStartMenuEnabled(bool enabled) {
    ui->Start1->setEnabled(enabled);
}

QLabel* TMainForm::ItemLabel(int item) const {
    const std::array<QLabel*, zul::kItemCount> labels{
        ui->lblAdjItem1, ui->lblAdjItem2, ui->lblAdjItem3, ui->lblAdjItem4,
        ui->lblAdjItem5, ui->lblAdjItem6, ui->lblAdjItem7};
    if (item < 1 || item > zul::kItemCount) return nullptr;
    return labels[static_cast<std::size_t>(item - 1)];
}

void TMainForm::SetItemLook(int item, zul::LabelLook look) {
    QLabel* label = ItemLabel(item);
    if (label == nullptr) return;
    const bool current = look == zul::LabelLook::Current;
    SetBold(*label, current);
    // The caption grows to the right to hold its text, as a caption that
    // sizes itself to its text: in bold, "5.Without paper adjustment" is
    // wider than its box. It never shrinks below the window definition.
    const int needed = label->sizeHint().width();
    if (needed > label->width()) label->resize(needed, label->height());
    if (current) {
        SetEnabledColour(*label, QPalette::WindowText, kCurrentItemColour);
    } else {
        label->setPalette(QPalette());  // the window-text colour again
    }
    label->setEnabled(look != zul::LabelLook::Done);
    if (look != zul::LabelLook::Idle) label->repaint();
}

void TMainForm::HideMagLegend() {
    SetLegendVisible(false);
    ui->gbxMag->repaint();
}

void TMainForm::SetMagBarRanges() {
    for (QProgressBar* bar : {ui->prbMagPeak, ui->prbMagAD}) {
        bar->setMaximum(100);
        bar->setMinimum(0);
    }
}

void TMainForm::SetClearVisible(bool visible) {
    ui->btnClear->setVisible(visible);
}
void TMainForm::FocusClear() {
    ui->btnClear->setFocus();
}

void TMainForm::SetTimerActive(bool active) {
    if (active) {
        Timer1.start();
    } else {
        Timer1.stop();
    }
}

void TMainForm::CloseWindow() {
    close();
}
