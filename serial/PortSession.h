#pragma once

#include <string>

#include "serial/LineSettings.h"
#include "serial/MessageSink.h"
#include "serial/SerialPort.h"
#include "serial/SettingsFile.h"

namespace zul {

// The port in use with its settings, as held by the port settings dialog for
// the whole run: opening (which rewrites the settings file), reloading, and
// what the dialog's OK and Cancel do. No widgets here.
class PortSession {
public:
    // port and messages are not owned; settingsPath is the settings file.
    PortSession(SerialPort& port, MessageSink& messages,
                std::string settingsPath = kSettingsFileName);

    // The start-up opening: ReloadSettings, then OpenPort.
    void FormCreate();
    // Closes an open port, then reads the settings file into the selection.
    void ReloadSettings();
    // Opens portName, rewrites the settings file, configures the line.
    // Shows the "RS232C PORT" box on failure. Sets portOpen on success.
    bool OpenPort();
    // OK: close, apply the selection, open.
    void Ok(const PortSettings& chosen);
    // Cancel: selection and line back to what the settings file says.
    void Cancel();
    // Applies a selection to LineSettings (setters in order, then byte size);
    // a group without a valid selection leaves its value unchanged.
    void ApplySelection(const PortSettings& chosen) {
        zul::ApplySelection(chosen, selection_, line_);
    }

    const PortSettings& selection() const { return selection_; }
    const LineSettings& line() const { return line_; }
    bool portOpen() const { return portOpen_; }
    SerialPort& port() const { return port_; }

    // The text of the "RS232C PORT" box for an error code.
    static std::string PortErrorText(uint32_t code);

private:
    // Closes the port when it is open.
    void ClosePort();

    SerialPort& port_;
    MessageSink& messages_;
    std::string settingsPath_;
    PortSettings selection_;
    LineSettings line_;
    bool portOpen_ = false;
};

inline constexpr const char* kPortErrorCaption = "RS232C PORT";

}  // namespace zul
