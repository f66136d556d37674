#include "serial/SettingsFile.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string_view>

namespace zul {

namespace {

constexpr std::string_view kTitleLine = "*** BILL VALIDATOR ***";
constexpr std::string_view kLineEnd = "\r\n";

constexpr std::string_view kBaudKey = "BORDRATE:";
constexpr std::string_view kPortKey = "COMPORT:";
constexpr std::string_view kStopBitKey = "STOPBIT:";
constexpr std::string_view kParityKey = "PARITYBIT:";

// The values of each key in the order of its radio group, which is also the
// order in which the reader tries them.
constexpr std::array<std::string_view, 5> kBaudValues{"CBR_1200", "CBR_2400", "CBR_9600",
                                                      "CBR_19200", "CBR_38400"};
constexpr std::array<int32_t, 5> kBaudRates{1200, 2400, 9600, 19200, 38400};
constexpr std::array<std::string_view, 7> kPortValues{"COM1", "COM2", "COM3", "COM4",
                                                      "COM5", "COM6", "COM7"};
constexpr std::array<std::string_view, 2> kStopBitValues{"ONESTOPBIT", "TWOSTOPBITS"};
constexpr std::array<std::string_view, 3> kParityValues{"NOPARITY", "EVENPARITY", "ODDPARITY"};

constexpr int kDefaultBaudIndex = 2;
constexpr int kDefaultPortIndex = 0;
constexpr int kDefaultStopBitIndex = 0;
constexpr int kDefaultParityIndex = 1;

// A line is read in pieces of at most this many characters, as a C line
// reader with a 128-byte buffer does.
constexpr size_t kMaxLineChars = 127;
// The reader looks at no more of a file than this; the real file is 99 bytes.
constexpr size_t kMaxReadBytes = 1 << 20;

constexpr std::string_view kWriteErrorCaption = "WRITE FILE";
constexpr std::string_view kWriteErrorText = "File cannot be opened";

template <size_t N>
bool InRange(int index, const std::array<std::string_view, N>& values) {
    return index >= 0 && static_cast<size_t>(index) < values.size();
}

// The index of the first value found anywhere in line, or -1.
template <size_t N>
int FindValue(std::string_view line, const std::array<std::string_view, N>& values) {
    for (size_t i = 0; i < values.size(); ++i) {
        if (line.find(values[i]) != std::string_view::npos) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void LoadDefaultSettings(PortSettings& selection, LineSettings& line) {
    selection.baud = kDefaultBaudIndex;
    line.baudRate = BaudRateForIndex(kDefaultBaudIndex);
    selection.port = kDefaultPortIndex;
    line.portName = PortNameForIndex(kDefaultPortIndex);
    selection.stopBits = kDefaultStopBitIndex;
    line.stopBits = StopBitsForIndex(kDefaultStopBitIndex);
    selection.parity = kDefaultParityIndex;
    line.parity = ParityForIndex(kDefaultParityIndex);
    line.byteSize = 8;
}

// Walks the lines of the file: waits for each key in turn, applies the first
// value found in the key's line, then waits for the next key.
class SettingsReader {
public:
    SettingsReader(PortSettings& selection, LineSettings& line)
        : selection_(selection), line_(line) {
        LoadDefaultSettings(selection_, line_);
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
    bool Done() const { return awaited_ == Key::kNone; }

private:
    enum class Key { kBaud, kPort, kStopBit, kParity, kNone };

    void PutChar(char c) {
        if (Done()) {
            return;
        }
        piece_.push_back(c);
        if (c == '\n' || piece_.size() == kMaxLineChars) {
            EndPiece();
        }
    }

    void EndPiece() {
        std::string_view text(piece_);
        // The line is a C string: a NUL byte ends it.
        text = text.substr(0, text.find('\0'));
        MatchLine(text);
        piece_.clear();
    }

    void MatchLine(std::string_view text) {
        switch (awaited_) {
            case Key::kBaud:
                if (MatchBaudLine(text)) awaited_ = Key::kPort;
                break;
            case Key::kPort:
                if (MatchPortLine(text)) awaited_ = Key::kStopBit;
                break;
            case Key::kStopBit:
                if (MatchStopBitLine(text)) awaited_ = Key::kParity;
                break;
            case Key::kParity:
                if (MatchParityLine(text)) awaited_ = Key::kNone;
                break;
            case Key::kNone:
                break;
        }
    }

    // Each returns true when the line holds the key; the value, when one is
    // found, replaces the default.
    bool MatchBaudLine(std::string_view text) {
        if (text.find(kBaudKey) == std::string_view::npos) return false;
        const int index = FindValue(text, kBaudValues);
        if (index >= 0) {
            selection_.baud = index;
            line_.baudRate = BaudRateForIndex(index);
        }
        return true;
    }
    bool MatchPortLine(std::string_view text) {
        if (text.find(kPortKey) == std::string_view::npos) return false;
        const int index = FindValue(text, kPortValues);
        if (index >= 0) {
            selection_.port = index;
            line_.portName = PortNameForIndex(index);
        }
        return true;
    }
    bool MatchStopBitLine(std::string_view text) {
        if (text.find(kStopBitKey) == std::string_view::npos) return false;
        const int index = FindValue(text, kStopBitValues);
        if (index >= 0) {
            selection_.stopBits = index;
            line_.stopBits = StopBitsForIndex(index);
        }
        return true;
    }
    bool MatchParityLine(std::string_view text) {
        if (text.find(kParityKey) == std::string_view::npos) return false;
        const int index = FindValue(text, kParityValues);
        if (index >= 0) {
            selection_.parity = index;
            line_.parity = ParityForIndex(index);
        }
        return true;
    }

    PortSettings& selection_;
    LineSettings& line_;
    Key awaited_ = Key::kBaud;
    bool pendingCr_ = false;
    std::string piece_;
};

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// Removes the temporaries that writers killed half way left beside path;
// one whose process still runs is left alone.
void RemoveStaleTemporaries(const std::string& path) {
    namespace fs = std::filesystem;
    const fs::path target(path);
    const std::string prefix = target.filename().string() + ".tmp.";
    const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(prefix, 0) != 0) continue;
        const std::string digits = name.substr(prefix.size());
        if (digits.empty() || digits.size() > 9 ||
            digits.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        const pid_t pid = static_cast<pid_t>(std::stol(digits));
        if (pid != getpid() && kill(pid, 0) != 0 && errno == ESRCH) {
            unlink(it->path().c_str());
        }
    }
}

// Writes content to a fresh file beside path and renames it over path, so
// that path holds either its old or its new content, never a part.
bool ReplaceFile(const std::string& path, std::string_view content) {
    const std::string temporary = path + ".tmp." + std::to_string(getpid());
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST) {
        unlink(temporary.c_str());  // left over by a copy that died with this pid
        fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_TRUNC | O_CLOEXEC, 0666);
    }
    if (fd < 0) {
        return false;
    }
    bool ok = WriteAll(fd, content);
    ok = fsync(fd) == 0 && ok;
    ok = close(fd) == 0 && ok;
    ok = ok && std::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) {
        unlink(temporary.c_str());
    } else {
        RemoveStaleTemporaries(path);
    }
    return ok;
}

}  // namespace

std::string PortNameForIndex(int index) {
    return std::string(InRange(index, kPortValues) ? kPortValues[static_cast<size_t>(index)]
                                                   : kPortValues[0]);
}

int32_t BaudRateForIndex(int index) {
    return index >= 0 && static_cast<size_t>(index) < kBaudRates.size()
               ? kBaudRates[static_cast<size_t>(index)]
               : kBaudRates[kDefaultBaudIndex];
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
    if (InRange(selection.baud, kBaudValues)) {
        addLine(kBaudKey, kBaudValues[static_cast<size_t>(selection.baud)]);
    }
    if (InRange(selection.port, kPortValues)) {
        addLine(kPortKey, kPortValues[static_cast<size_t>(selection.port)]);
    }
    if (InRange(selection.stopBits, kStopBitValues)) {
        addLine(kStopBitKey, kStopBitValues[static_cast<size_t>(selection.stopBits)]);
    }
    if (InRange(selection.parity, kParityValues)) {
        addLine(kParityKey, kParityValues[static_cast<size_t>(selection.parity)]);
    }
    return content;
}

void ParseSettingsFile(const std::string& content, PortSettings& selection, LineSettings& line) {
    SettingsReader reader(selection, line);
    reader.Feed(content);
    reader.Finish();
}

void ReadSettingsFile(const std::string& path, PortSettings& selection, LineSettings& line) {
    SettingsReader reader(selection, line);
    std::FILE* file = std::fopen(path.c_str(), "rb");
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
    if (!ReplaceFile(path, FormatSettingsFile(selection))) {
        messages.ShowExclamation(kWriteErrorCaption, kWriteErrorText);
        return false;
    }
    return true;
}

}  // namespace zul
