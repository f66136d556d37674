#pragma once

#include <QDialog>
#include <memory>
#include <string>

#include "serial/MessageSink.h"
#include "serial/PortSession.h"
#include "serial/SerialPort.h"

namespace Ui {
class TRs232cForm;
}

// The port settings dialog, and the owner of the port for the whole run. Its
// creation reads the settings file and opens the port; the menu shows it
// modally. Only the port can be chosen; baud rate, parity and stop bits are
// shown locked.
class TRs232cForm : public QDialog {
    Q_OBJECT

public:
    // port and messages are not owned and must outlive the dialog.
    TRs232cForm(zul::SerialPort& port, zul::MessageSink& messages,
                std::string settingsPath = zul::kSettingsFileName, QWidget* parent = nullptr);
    ~TRs232cForm() override;

    zul::PortSession& session() { return session_; }

    // The selection shown by the four radio groups (-1 where none is checked).
    zul::PortSettings ShownSelection() const;

private slots:
    void OkBtnClick();
    void CloseBtnClick();
    void SelRsComClick();
    void SelRsBpsClick();
    void SelRsParityClick();
    void SelStopBitClick();

private:
    void FormCreate();
    void ShowSelection(const zul::LineSettings& line);

    std::unique_ptr<Ui::TRs232cForm> ui;
    zul::PortSession session_;
};
