#pragma once

#include <QMainWindow>
#include <QTimer>
#include <cstdint>
#include <memory>

#include "adjust/AdjustmentData.h"
#include "adjust/ItemContext.h"
#include "app/WidgetMagView.h"
#include "app/WidgetResultArea.h"
#include "app/Wizard.h"
#include "app/WizardView.h"
#include "serial/Clock.h"
#include "serial/CommandExchange.h"
#include "serial/SerialPort.h"

namespace Ui {
class TMainForm;
}
class QLabel;
class TRs232cForm;
class TVersionForm;

// The main window: the item labels, the two wizard buttons, the mag group with
// its live display, the result area and the menu. Holds the wizard (with
// AdjStep), the run's measurement record and the exchange with the unit.
// Every click runs to its end on this thread, blocking the event loop.
class TMainForm : public QMainWindow, private zul::WizardView {
    Q_OBJECT

public:
    // port, clock and records are not owned and must outlive the window.
    // records is told of every run (none by default). Shows the idle screen
    // with AdjStep 0.
    TMainForm(zul::SerialPort& port, zul::Clock& clock,
              zul::RunRecorder& records = zul::NoRecords(), QWidget* parent = nullptr);
    ~TMainForm() override;

    // The dialogs of the "&Opition" menu (not owned; either may be null, and
    // its entry then does nothing).
    void SetDialogs(TRs232cForm* rs232c, TVersionForm* version);

    // Where the unit's serial number comes from at each Start (not owned;
    // nullptr, the default, for none).
    void SetUnitIdSource(zul::UnitIdSource* source) { wizard_.SetUnitIdSource(source); }

    int16_t AdjStep() const { return wizard_.AdjStep(); }
    zul::AdjustmentData& data() { return data_; }
    zul::ResultArea& result() { return result_; }
    QTimer& timer() { return Timer1; }

    // Display routines.
    void ClearResult();
    void TrimResult(std::size_t index);  // keeps the lines before index
    void ShowIdleScreen();
    void ResetMagValues() override;
    void EnableMagGroup() override;
    void DisableMagGroup() override;

public slots:
    void btnStartClick();
    void btnExitClick();
    void btnClearClick();
    void Timer1Timer();
    void Start1Click();
    void Exit1Click();
    void COMport1Click();
    void Version1Click();

protected:
    // Closing the window ends a run still going on in its record.
    void closeEvent(QCloseEvent* event) override;

private:
    // zul::WizardView
    void SetStartCaption(std::string_view caption) override;
    void SetExitCaption(std::string_view caption) override;
    void SetStartEnabled(bool enabled) override;
    void SetExitEnabled(bool enabled) override;
    void FocusStart() override;
    void SetStartMenuEnabled(bool enabled) override;
    void SetItemLook(int item, zul::LabelLook look) override;
    void HideMagLegend() override;
    void SetMagBarRanges() override;
    zul::MagView& magView() override { return magView_; }
    void SetClearVisible(bool visible) override;
    void FocusClear() override;
    void SetTimerActive(bool active) override;
    void CloseWindow() override;

    void FormCreate();
    void ApplyFixedLook();
    void SetMagGroupActive(bool active);
    void SetLegendVisible(bool visible);
    QLabel* ItemLabel(int item) const;

    std::unique_ptr<Ui::TMainForm> ui;
    QTimer Timer1;
    zul::AdjustmentData data_;
    zul::CommandExchange link_;
    WidgetResultArea result_;
    WidgetMagView magView_;
    zul::ItemContext ctx_;
    zul::Wizard wizard_;
    TRs232cForm* rs232c_ = nullptr;
    TVersionForm* version_ = nullptr;
};
