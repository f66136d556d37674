#include "serial/PortSession.h"

#include <cstdio>
#include <utility>

namespace zul {

namespace {

// "WRONG COM PORT" with a full-width exclamation mark, then the code.
constexpr const char* kPortErrorHead = "WRONG COM PORT\xEF\xBC\x81\n Error Code:";

}  // namespace

PortSession::PortSession(SerialPort& port, MessageSink& messages, std::string settingsPath)
    : port_(port), messages_(messages), settingsPath_(std::move(settingsPath)) {}

void PortSession::FormCreate() {
    ReloadSettings();
    OpenPort();
}

void PortSession::ClosePort() {
    if (portOpen_) {
        port_.Close();
        portOpen_ = false;
    }
}

void PortSession::ReloadSettings() {
    ClosePort();
    ReadSettingsFile(settingsPath_, selection_, line_);
}

bool PortSession::OpenPort() {
    uint32_t code = port_.OpenDevice(line_.portName);
    if (code != SerialPort::kOk) {
        messages_.ShowExclamation(kPortErrorCaption, PortErrorText(code));
        return false;
    }
    // The file holds the selection the device was last opened with; a failed
    // write shows its own message and the opening goes on.
    WriteSettingsFile(settingsPath_, selection_, messages_);
    code = port_.Configure(line_);
    if (code != SerialPort::kOk) {
        messages_.ShowExclamation(kPortErrorCaption, PortErrorText(code));
        return false;
    }
    portOpen_ = true;
    return true;
}

void PortSession::Ok(const PortSettings& chosen) {
    ClosePort();
    ApplySelection(chosen);
    OpenPort();
}

void PortSession::Cancel() {
    ReadSettingsFile(settingsPath_, selection_, line_);
}

std::string PortSession::PortErrorText(uint32_t code) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%x", static_cast<unsigned>(code));
    return std::string(kPortErrorHead) + hex;
}

}  // namespace zul
