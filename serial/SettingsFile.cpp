#include "serial/SettingsFile.h"

#include <array>
#include <cstdio>
#include <span>
#include <string_view>

#include "serial/FileStore.h"

namespace zul {

namespace {

constexpr std::string_view kTitleLine = "*** BILL VALIDATOR ***";
constexpr std::string_view kLineEnd = "\r\n";

// The values of each group in the order of its radio group, which is also the
// order in which the reader tries them.
constexpr std::array<std::string_view, 5> kBaudValues{"CBR_1200", "CBR_2400", "CBR_9600",
                                                      "CBR_19200", "CBR_38400"};
constexpr std::array<int32_t, 5> kBaudRates{1200, 2400, 9600, 19200, 38400};
constexpr std::array<std::string_view, 7> kPortValues{"COM1", "COM2", "COM3", "COM4",
                                                      "COM5", "COM6", "COM7"};
constexpr std::array<std::string_view, 2> kStopBitValues{"ONESTOPBIT", "TWOSTOPBITS"};
constexpr std::array<std::string_view, 3> kParityValues{"NOPARITY", "EVENPARITY", "ODDPARITY"};

// One radio group: its key in the file, its values, where its index is kept
// and the setter that takes the index to LineSettings.
struct Group {
    std::string_view key;
    std::span<const std::string_view> values;
    int PortSettings::*index;
    void (*apply)(int index, LineSettings& line);
};

// In the order of the file's lines, which is the order the reader waits for.
constexpr std::array<Group, 4> kGroups{{
    {"BORDRATE:", kBaudValues, &PortSettings::baud,
     [](int i, LineSettings& line) { line.baudRate = BaudRateForIndex(i); }},
    {"COMPORT:", kPortValues, &PortSettings::port,
     [](int i, LineSettings& line) { line.portName = PortNameForIndex(i); }},
    {"STOPBIT:", kStopBitValues, &PortSettings::stopBits,
     [](int i, LineSettings& line) { line.stopBits = StopBitsForIndex(i); }},
    {"PARITYBIT:", kParityValues, &PortSettings::parity,
     [](int i, LineSettings& line) { line.parity = ParityForIndex(i); }},
}};

// A line is read in pieces of at most this many characters, as a C line
// reader with a 128-byte buffer does.
constexpr size_t kMaxLineChars = 127;
// The reader looks at no more of a file than this; the real file is 99 bytes.
constexpr size_t kMaxReadBytes = 1 << 20;

constexpr std::string_view kWriteErrorCaption = "WRITE FILE";
constexpr std::string_view kWriteErrorText = "File cannot be opened";

bool InRange(int index, size_t count) {
    return index >= 0 && static_cast<size_t>(index) < count;
}

void Select(const Group& group, int index, PortSettings& selection, LineSettings& line) {
    selection.*group.index = index;
    group.apply(index, line);
}

// The index of the first value found anywhere in line, or -1.
int FindValue(std::string_view line, std::span<const std::string_view> values) {
    for (size_t i = 0; i < values.size(); ++i) {
        if (line.find(values[i]) != std::string_view::npos) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// Walks the lines of the file: waits for each key in turn, applies the first
// value found in the key's line, then waits for the next key.
class SettingsReader {
public:
    SettingsReader(PortSettings& selection, LineSettings& line)
        : selection_(selection), line_(line) {
        ApplySelection(PortSettings{}, selection_, line_);
    }

    // Feeds the next characters of the file as read in binary.
    void Feed(std::string_view bytes) {
        for (char c : bytes) {
            if (Done()) {
                return;
            }
            if (pendingCr_) {
                pendingCr_ = false;
                if (c == '\n') {
                    PutChar('\n');  // CR LF is one line end
                    continue;
                }
                PutChar('\r');
            }
            if (c == '\r') {
                pendingCr_ = true;
            } else {
                PutChar(c);
            }
        }
    }

    // The end of the file: a last line without a line end still counts.
    void Finish() {
        if (pendingCr_) {
            pendingCr_ = false;
            PutChar('\r');
        }
        if (!piece_.empty()) {
            EndPiece();
        }
    }

    // True once the last key was handled: the rest of the file is ignored.
    bool Done() const { return awaited_ == kGroups.size(); }

private:
    void PutChar(char c) {
        if (Done()) {
            return;
        }
        piece_.push_back(c);
        if (c == '\n' || piece_.size() == kMaxLineChars) {
            EndPiece();
        }
    }

    // A piece that holds the awaited key moves the reader on to the next; the
    // value, when one is found, replaces the default.
    void EndPiece() {
        std::string_view text(piece_);
        // The line is a C string: a NUL byte ends it.
        text = text.substr(0, text.find('\0'));
        const Group& group = kGroups[awaited_];
        if (text.find(group.key) != std::string_view::npos) {
            const int index = FindValue(text, group.values);
            if (index >= 0) {
                Select(group, index, selection_, line_);
            }
            ++awaited_;
        }
        piece_.clear();
    }

    PortSettings& selection_;
    LineSettings& line_;
    size_t awaited_ = 0;  // the index in kGroups of the key waited for
    bool pendingCr_ = false;
    std::string piece_;
};

}  // namespace

std::string PortNameForIndex(int index) {
    return std::string(kPortValues[InRange(index, kPortValues.size()) ? index : 0]);
}

int32_t BaudRateForIndex(int index) {
    return kBaudRates[InRange(index, kBaudRates.size()) ? index : PortSettings{}.baud];
}

uint8_t StopBitsForIndex(int index) {
    return index == 1 ? kTwoStopBits : kOneStopBit;
}

uint8_t ParityForIndex(int index) {
    if (index == 0) return kNoParity;
    if (index == 2) return kOddParity;
    return kEvenParity;
}

std::string FormatSettingsFile(const PortSettings& selection) {
    std::string content;
    auto addLine = [&](std::string_view key, std::string_view value) {
        content.append(key).append(value).append(kLineEnd);
    };
    addLine(kTitleLine, "");
    for (const Group& group : kGroups) {
        const int index = selection.*group.index;
        if (InRange(index, group.values.size())) {
            addLine(group.key, group.values[static_cast<size_t>(index)]);
        }
    }
    return content;
}

void ApplySelection(const PortSettings& chosen, PortSettings& selection, LineSettings& line) {
    for (const Group& group : kGroups) {
        const int index = chosen.*group.index;
        if (InRange(index, group.values.size())) {
            Select(group, index, selection, line);
        }
    }
    line.byteSize = 8;
}

void ParseSettingsFile(const std::string& content, PortSettings& selection, LineSettings& line) {
    SettingsReader reader(selection, line);
    reader.Feed(content);
    reader.Finish();
}

void ReadSettingsFile(const std::string& path, PortSettings& selection, LineSettings& line) {
    SettingsReader reader(selection, line);
    std::FILE* file = OpenStoredFile(path);
    if (file == nullptr) {
        return;
    }
    std::array<char, 4096> block{};
    size_t total = 0;
    while (!reader.Done() && total < kMaxReadBytes) {
        const size_t n = std::fread(block.data(), 1, block.size(), file);
        if (n == 0) {
            break;
        }
        total += n;
        reader.Feed(std::string_view(block.data(), n));
    }
    reader.Finish();
    std::fclose(file);
}

bool WriteSettingsFile(const std::string& path, const PortSettings& selection,
                       MessageSink& messages) {
    if (!StoreFile(path, FormatSettingsFile(selection))) {
        messages.ShowExclamation(kWriteErrorCaption, kWriteErrorText);
        return false;
    }
    return true;
}

}  // namespace zul
