#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zul::sim {

// The unit's end of a pseudo-terminal: the master side, raw, with a symlink
// to the slave for the program under test. The tool keeps a slave descriptor
// open itself so that the line stays up between the program's sessions.
class PtyLine {
public:
    PtyLine() = default;
    ~PtyLine();  // closes both sides and removes the link
    PtyLine(const PtyLine&) = delete;
    PtyLine& operator=(const PtyLine&) = delete;

    // Opens the pseudo-terminal and puts a symlink to its slave at linkPath
    // (an existing symlink there is replaced; any other file is left alone and
    // is an error). Returns an empty string, or what went wrong.
    std::string Open(const std::string& linkPath);

    // The slave device name, e.g. /dev/pts/3.
    const std::string& slaveName() const { return slaveName_; }

    // Waits up to timeoutMs for bytes from the program. Returns the bytes
    // (possibly none); nullopt when the line failed. An interrupting signal
    // returns no bytes.
    std::optional<std::vector<uint8_t>> Read(int timeoutMs);

    // Sends one byte to the program. False when it could not be written (the
    // program's input queue is full).
    bool WriteByte(uint8_t byte);

    // Removes the link if it still points to this line's slave.
    void RemoveLink();

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slaveName_;
    std::string linkPath_;
};

}  // namespace zul::sim
