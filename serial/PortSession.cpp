#include "serial/PortSession.h"

#include <cstdio>
#include <utility>

namespace zul {

namespace {

// "WRONG COM PORT" with a full-width exclamation mark, then the code.
constexpr const char* kPortErrorHead = "WRONG COM PORT\xEF\xBC\x81\n Error Code:";

constexpr int kPortCount = 7;
constexpr int kBaudCount = 5;
constexpr int kStopBitCount = 2;
constexpr int kParityCount = 3;

bool Selected(int index, int count) {
    return index >= 0 && index < count;
}

}  // namespace

PortSession::PortSession(SerialPort& port, MessageSink& messages, std::string settingsPath)
    : port_(port), messages_(messages), settingsPath_(std::move(settingsPath)) {}

void PortSession::FormCreate() {
    ReloadSettings();
    OpenPort();
}

void PortSession::ReloadSettings() {
    if (portOpen_) {
        port_.Close();
        portOpen_ = false;
    }
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
    if (portOpen_) {
        port_.Close();
        portOpen_ = false;
    }
    ApplySelection(chosen);
    OpenPort();
}

void PortSession::Cancel() {
    ReadSettingsFile(settingsPath_, selection_, line_);
}

void PortSession::ApplySelection(const PortSettings& chosen) {
    // A group without a valid selection keeps both its index and its value.
    if (Selected(chosen.port, kPortCount)) {
        selection_.port = chosen.port;
        line_.portName = PortNameForIndex(chosen.port);
    }
    if (Selected(chosen.baud, kBaudCount)) {
        selection_.baud = chosen.baud;
        line_.baudRate = BaudRateForIndex(chosen.baud);
    }
    if (Selected(chosen.stopBits, kStopBitCount)) {
        selection_.stopBits = chosen.stopBits;
        line_.stopBits = StopBitsForIndex(chosen.stopBits);
    }
    if (Selected(chosen.parity, kParityCount)) {
        selection_.parity = chosen.parity;
        line_.parity = ParityForIndex(chosen.parity);
    }
    line_.byteSize = 8;
}

std::string PortSession::PortErrorText(uint32_t code) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%x", static_cast<unsigned>(code));
    return std::string(kPortErrorHead) + hex;
}

}  // namespace zul
