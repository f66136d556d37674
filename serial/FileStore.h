#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "serial/Clock.h"

namespace zul {

// Every path here is UTF-8 (serial/Utf8.h); on Windows it reaches the system
// through the wide calls.

// Rewrites the file at path with content, so that a reader beside it finds
// either the old or the new whole content. Each platform has its own file
// (POSIX, Win32). The file keeps its mode, owner and group; where a fresh
// file cannot have them, or cannot be made beside it, the file is rewritten
// in place, and a writer killed half way then leaves content followed by
// blanks (past the first 4 KiB, by what stood there). Returns false when the file cannot be
// written; the file is then left as it was. So it is when path names anything but a regular file (a
// folder, a pipe, a device), a link loop, or a link that another user may
// have planted in a folder shared by all (which the system would not follow
// either): nothing is opened, written or replaced.
bool StoreFile(const std::string& path, std::string_view content);

// Opens the file at path for reading in binary, or gives nullptr when it is
// missing or is not a regular file (a folder, a pipe, a device, which are
// never waited on). A rewrite in place by StoreFile is never seen half done.
// The caller closes the file with std::fclose.
std::FILE* OpenStoredFile(const std::string& path);

// A file kept open to take text at its end (the line monitor's): created
// when missing, and each Append is one write at the end of the file, so the
// appends of another process never fall inside it. Nothing is synced.
class AppendFile {
public:
    AppendFile() = default;
    ~AppendFile() { Close(); }
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    // False, with the reason in words in error, when path cannot be opened
    // for appending.
    bool Open(const std::string& path, std::string& error);
    bool Append(std::string_view text);
    bool IsOpen() const { return handle_ != kClosed; }
    void Close();

private:
    static constexpr intptr_t kClosed = -1;
    intptr_t handle_ = kClosed;  // a file descriptor, or a Windows handle
};

// Appends one record (text that ends in a newline) to the file at path,
// created when missing, so that it survives a crash and never mixes with
// the records of another writer, in this process or another, on this PC or
// another sharing the folder: under a lock that every writer through this
// call takes (waited for at most 2 s by clock, then done without), after a
// newline of its own when the file ends in a cut-off line (a writer that died
// half way), in one write, synced to the disk before it returns. False, with
// the reason in words in error, when it could not be written. clock: the
// lock wait's (not owned).
bool AppendRecord(const std::string& path, std::string_view record, std::string& error,
                  Clock& clock = RealClock());

// How long AppendRecord waits for the lock.
inline constexpr uint32_t kRecordLockWaitMs = 2000;

// The reason the last system call of this thread failed, in words
// (strerror of errno; on Windows the common codes of GetLastError in words,
// with the number).
std::string LastSystemError();

}  // namespace zul
