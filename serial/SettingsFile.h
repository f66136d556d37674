#pragma once

#include <string>

#include "serial/LineSettings.h"
#include "serial/MessageSink.h"

namespace zul {

// The four selections of the port settings dialog, each the index of the
// chosen entry of its radio group; -1 means no selection.
struct PortSettings {
    int port = 0;      // 0 to 6: COM1 to COM7
    int baud = 2;      // 0 to 4: 1200, 2400, 9600, 19200, 38400
    int stopBits = 0;  // 0: one stop bit, 1: two
    int parity = 1;    // 0: none, 1: even, 2: odd

    bool operator==(const PortSettings&) const = default;
};

// The settings file, opened relative to the current directory.
inline constexpr const char* kSettingsFileName = "ZUL1x_comm.ini";

// The selection-to-LineSettings setters shared by the file reader and the
// dialog.
std::string PortNameForIndex(int index);  // 0-6 -> "COM1".."COM7", else "COM1"
int32_t BaudRateForIndex(int index);      // 0-4 -> 1200..38400, else 9600
uint8_t StopBitsForIndex(int index);      // 1 -> two stop bits, else one
uint8_t ParityForIndex(int index);        // 0 -> none, 2 -> odd, else even

// The file content for a selection: five CR LF lines (a group without a
// valid selection contributes no line).
std::string FormatSettingsFile(const PortSettings& selection);

// Applies each group of chosen that holds a valid selection to selection and
// line (a group without one keeps both its index and its value), then sets
// the byte size to 8.
void ApplySelection(const PortSettings& chosen, PortSettings& selection, LineSettings& line);

// Sets selection and line to the defaults, then applies what content says.
void ParseSettingsFile(const std::string& content, PortSettings& selection, LineSettings& line);

// Sets selection and line to the defaults and the stored settings at path.
// A missing or unreadable file, or anything but a regular file (a pipe, a
// device), leaves the defaults; no message.
void ReadSettingsFile(const std::string& path, PortSettings& selection, LineSettings& line);

// Rewrites the file at path from the selection, never leaving it half
// written (blanks after the content, which a writer killed during a rewrite
// in place may leave, are read past). When it cannot be written, or path
// names no regular file, a link loop or a link another user planted:
// "File cannot be opened" under the caption "WRITE FILE", and false.
bool WriteSettingsFile(const std::string& path, const PortSettings& selection,
                       MessageSink& messages);

}  // namespace zul
