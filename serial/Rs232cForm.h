#pragma once

#include <QDialog>
#include <array>
#include <memory>
#include <string>

#include "serial/MessageSink.h"
#include "serial/PortSession.h"
#include "serial/SerialPort.h"

class QButtonGroup;

namespace Ui {
class TRs232cForm;
}

// The port settings dialog, and the owner of the port for the whole run. Its
// creation reads the settings file and opens the port; the menu shows it
// modally. Only the port can be chosen; baud rate, parity and stop bits are
// shown locked.
//
// The four radio groups are the group boxes SelRsCom, SelRsBps, SelRsParity
// and SelStopBit. Their radio buttons are named after the group and the
// entry's index: SelRsCom_0 ("COM-1") to SelRsCom_6 ("COM-7"), SelRsBps_0
// ("1200 bps") to SelRsBps_4 ("38400 bps"), SelRsParity_0 "Non", _1 "Even",
// _2 "Odd", SelStopBit_0 "1 stop", _1 "2 stop"; find them with
// findChild<QRadioButton*>(name). The index is the one the settings file
// stores.
class TRs232cForm : public QDialog {
    Q_OBJECT

public:
    // port and messages are not owned and must outlive the dialog. Reads the
    // settings file at settingsPath and opens the port; a "RS232C PORT" box
    // can be shown from here.
    TRs232cForm(zul::SerialPort& port, zul::MessageSink& messages,
                std::string settingsPath = zul::kSettingsFileName, QWidget* parent = nullptr);
    ~TRs232cForm() override;

    zul::PortSession& session() { return session_; }

    // The selection shown by the four radio groups (-1 where none is checked).
    zul::PortSettings ShownSelection() const;

public slots:
    // Cancel, Esc and the window manager's close: CloseBtnClick, then close.
    void reject() override;

private slots:
    void OkBtnClick();
    void CloseBtnClick();
    void SelRsComClick();
    void SelRsBpsClick();
    void SelRsParityClick();
    void SelStopBitClick();

private:
    enum Group { kPortGroup, kBaudGroup, kParityGroup, kStopBitGroup, kGroupCount };

    void FormCreate();
    // Checks the entries that line names; a value outside a group's list
    // leaves that group as it is.
    void ShowSelection(const zul::LineSettings& line);
    // Checks the entry of each index; -1 leaves that group as it is.
    void ShowIndexes(const zul::PortSettings& indexes);
    // Applies one group's newly checked entry to the line settings.
    void ApplyGroup(Group group);

    std::unique_ptr<Ui::TRs232cForm> ui;
    std::array<QButtonGroup*, kGroupCount> groups_{};  // owned by the dialog
    zul::PortSession session_;
};
