#include <io.h>
#include <windows.h>

#include <algorithm>
#include <charconv>
#include <string>

#include "serial/FileStore.h"
#include "serial/Utf8.h"

namespace zul {

namespace {

// A replace that another handle on the file blocks (a virus scanner or an
// indexer looking at it for a moment) is tried again, this far apart, for
// this long.
constexpr uint32_t kReplaceWaitMs = 200;
constexpr uint32_t kReplacePauseMs = 50;
// The pause between two tries of the record lock.
constexpr uint32_t kLockPauseMs = 1;

bool WriteAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
            written == 0) {
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

// Writes content, flushes it to the disk and closes file.
bool Commit(HANDLE file, std::string_view content) {
    bool ok = WriteAll(file, content);
    ok = FlushFileBuffers(file) && ok;
    return CloseHandle(file) && ok;
}

bool Replace(const std::string& from, const std::string& to) {
    const std::wstring source = Wide(from), target = Wide(to);
    return RetryFor(RealClock(), kReplaceWaitMs, kReplacePauseMs, [&] {
               if (MoveFileExW(source.c_str(), target.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
                   return Tried::kDone;
               }
               const DWORD error = GetLastError();
               return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED
                          ? Tried::kAgain
                          : Tried::kFailed;
           }) == Tried::kDone;
}

// True when no process with this id runs any more.
bool ProcessGone(DWORD pid) {
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == nullptr) {
        return GetLastError() == ERROR_INVALID_PARAMETER;  // no such process
    }
    DWORD code = 0;
    const bool gone = GetExitCodeProcess(process, &code) && code != STILL_ACTIVE;
    CloseHandle(process);
    return gone;
}

// Removes the temporaries that writers killed half way left beside path;
// one whose process still runs is left alone.
void RemoveStaleTemporaries(const std::string& path) {
    const std::string::size_type slash = path.find_last_of("\\/");
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string prefix = path.substr(folder.size()) + ".tmp.";
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(Wide(path + ".tmp.*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        const std::string name = Utf8(found.cFileName);
        if (name.rfind(prefix, 0) != 0 || (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            continue;
        }
        const char* digits = name.data() + prefix.size();
        const char* last = name.data() + name.size();
        DWORD pid = 0;
        const auto [parsed, error] = std::from_chars(digits, last, pid);
        if (error != std::errc{} || parsed != last || pid == 0) continue;
        if (pid != GetCurrentProcessId() && ProcessGone(pid)) {
            DeleteFileW(Wide(folder + name).c_str());
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

// Rewrites an existing file in place without cutting it first: one write
// of the content, padded with blanks over what stood there (up to a page),
// then the cut. A writer stopped half way leaves the content followed by
// blanks, which the reader passes over, never an empty file.
bool RewriteInPlace(const std::string& path, std::string_view content) {
    constexpr LONGLONG kPage = 4096;
    const HANDLE file =
        CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    LARGE_INTEGER size{};
    std::string bytes(content);
    if (GetFileSizeEx(file, &size) && size.QuadPart > static_cast<LONGLONG>(bytes.size())) {
        bytes.resize(static_cast<size_t>(std::min(size.QuadPart, kPage)), ' ');
    }
    LARGE_INTEGER end{};
    end.QuadPart = static_cast<LONGLONG>(content.size());
    bool ok = WriteAll(file, bytes) && SetFilePointerEx(file, end, nullptr, FILE_BEGIN) &&
              SetEndOfFile(file);
    ok = FlushFileBuffers(file) && ok;
    return CloseHandle(file) && ok;
}

}  // namespace

// Writes content to a fresh file beside path, flushes it to the disk and
// moves it over path, so that path holds either its old or its new content,
// never a part. A read-only file is left as it is (the replace would
// otherwise go through where an open for writing is refused). Where the
// folder takes no new file (Program Files, which a 64-bit program may not
// write to), an existing file that may be written is rewritten in place.
bool StoreFile(const std::string& path, std::string_view content) {
    const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return false;
    }
    const std::string temporary = path + ".tmp." + std::to_string(GetCurrentProcessId());
    const HANDLE file = CreateFileW(Wide(temporary).c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        if (!exists) {
            return false;
        }
        return RewriteInPlace(path, content);
    }
    if (!Commit(file, content) || !Replace(temporary, path)) {
        DeleteFileW(Wide(temporary).c_str());
        return false;
    }
    RemoveStaleTemporaries(path);
    return true;
}

// Only a file on a disk is read: a pipe or a device named as the settings
// file would block the reader or answer nonsense.
std::FILE* OpenStoredFile(const std::string& path) {
    std::FILE* file = _wfopen(Wide(path).c_str(), L"rb");
    if (file != nullptr &&
        GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)))) != FILE_TYPE_DISK) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}

std::string LastSystemError() {
    const DWORD code = GetLastError();
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return "no such file or folder (error " + std::to_string(code) + ")";
        case ERROR_ACCESS_DENIED:
            return "access denied (error 5)";
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return "in use by another program (error " + std::to_string(code) + ")";
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return "disk full (error " + std::to_string(code) + ")";
        default:
            return "error " + std::to_string(code);
    }
}

namespace {

// Opened with the right to append and no right to write elsewhere: every
// WriteFile then goes to the end of the file, as one piece against the
// writes of other handles (FILE_APPEND_DATA, "File Security and Access
// Rights" in the Win32 documentation).
HANDLE OpenForAppend(const std::string& path, DWORD extraAccess) {
    return CreateFileW(Wide(path).c_str(), FILE_APPEND_DATA | SYNCHRONIZE | extraAccess,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Every writer of records locks the same byte far beyond any end of file
// (LockFileEx allows a range past the end); what it guards is the look at
// the last byte and the write after it.
OVERLAPPED RecordLockPlace() {
    OVERLAPPED place{};
    place.Offset = 0xFFFFFFFE;
    place.OffsetHigh = 0x7FFFFFFF;
    return place;
}

bool LockRecordFile(HANDLE file, Clock& clock) {
    return RetryFor(clock, kRecordLockWaitMs, kLockPauseMs, [&] {
               OVERLAPPED place = RecordLockPlace();
               if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                              &place)) {
                   return Tried::kDone;
               }
               return GetLastError() == ERROR_LOCK_VIOLATION ? Tried::kAgain : Tried::kFailed;
           }) == Tried::kDone;
}

bool EndsWithNewline(HANDLE file) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size) || size.QuadPart == 0) return true;
    OVERLAPPED at{};
    const LONGLONG last = size.QuadPart - 1;
    at.Offset = static_cast<DWORD>(last & 0xFFFFFFFF);
    at.OffsetHigh = static_cast<DWORD>(last >> 32);
    char byte = '\n';
    DWORD read = 0;
    return !ReadFile(file, &byte, 1, &read, &at) || read != 1 || byte == '\n';
}

}  // namespace

bool AppendFile::Open(const std::string& path, std::string& error) {
    Close();
    const HANDLE file = OpenForAppend(path, 0);
    if (file == INVALID_HANDLE_VALUE) {
        error = LastSystemError();
        return false;
    }
    handle_ = reinterpret_cast<intptr_t>(file);
    return true;
}

bool AppendFile::Append(std::string_view text) {
    if (!IsOpen()) return false;
    DWORD written = 0;
    return WriteFile(reinterpret_cast<HANDLE>(handle_), text.data(),
                     static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

void AppendFile::Close() {
    if (IsOpen()) CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = kClosed;
}

bool AppendRecord(const std::string& path, std::string_view record, std::string& error,
                  Clock& clock) {
    const HANDLE file = OpenForAppend(path, FILE_READ_DATA);
    if (file == INVALID_HANDLE_VALUE) {
        error = LastSystemError();
        return false;
    }
    const bool locked = LockRecordFile(file, clock);
    // A newline of its own first after a cut-off line, in the same write.
    const size_t cut = EndsWithNewline(file) ? 0 : 1;
    std::string text(cut + record.size(), '\n');
    record.copy(text.data() + cut, record.size());
    DWORD written = 0;
    bool ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
              written == text.size();
    if (ok && !FlushFileBuffers(file)) ok = false;
    if (!ok) error = LastSystemError();
    if (locked) {
        OVERLAPPED place = RecordLockPlace();
        UnlockFileEx(file, 0, 1, 0, &place);
    }
    CloseHandle(file);
    return ok;
}

}  // namespace zul
