#include <windows.h>

#include <algorithm>
#include <string>

#include "records/RecordFile.h"

namespace zul::records {

namespace {

using Opened = RecordFile::Opened;

// How often a file deleted under a waiting writer is opened again.
constexpr int kReopenTries = 5;

std::string Reason(DWORD code) {
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

HANDLE Handle(intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// What stands at an open handle that is no file on a disk, in words; empty
// for a file. A link or a junction is opened as itself
// (FILE_FLAG_OPEN_REPARSE_POINT), never followed.
std::string NotAFile(HANDLE file) {
    if (GetFileType(file) != FILE_TYPE_DISK) return "a device, not a file";
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info)) return Reason(GetLastError());
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return "a symbolic link, not a file; nothing is written through it";
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return "a folder, not a file";
    return {};
}

// The lock every writer of records takes: one byte far beyond any end of
// file (LockFileEx allows a range past the end).
OVERLAPPED LockPlace() {
    OVERLAPPED place{};
    place.Offset = 0xFFFFFFFE;
    place.OffsetHigh = 0x7FFFFFFF;
    return place;
}

Opened LockWhole(HANDLE file, int waitMs, std::string& error) {
    for (int waited = 0;; ++waited) {
        OVERLAPPED place = LockPlace();
        if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                       &place)) {
            return Opened::kOpened;
        }
        const DWORD code = GetLastError();
        if (code != ERROR_LOCK_VIOLATION && code != ERROR_IO_PENDING) {
            error = "cannot be locked (" + Reason(code) + ")";
            return Opened::kFailed;
        }
        if (waited >= waitMs) {
            error = "locked by another writer";
            return Opened::kLockHeld;
        }
        Sleep(1);
    }
}

// Whether the file was deleted while it was open (by the spool's clean-up).
bool DeletePending(HANDLE file) {
    FILE_STANDARD_INFO info{};
    return GetFileInformationByHandleEx(file, FileStandardInfo, &info, sizeof info) &&
           info.DeletePending;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
}

class RealSync final : public DiskSync {
public:
    bool SyncFile(intptr_t handle) override { return FlushFileBuffers(Handle(handle)) != 0; }
    // NTFS writes a new file's entry with the file's own flush (its metadata,
    // "FlushFileBuffers" and "NtFlushBuffersFileEx" in the Win32
    // documentation); a folder handle is flushed where the file system
    // takes it, and a file system that does not is no failure.
    bool SyncFolder(const std::string& folder) override {
        const HANDLE handle =
            CreateFileA(folder.c_str(), GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            const DWORD code = GetLastError();
            return code == ERROR_ACCESS_DENIED || code == ERROR_INVALID_FUNCTION;
        }
        const bool ok = FlushFileBuffers(handle) || GetLastError() == ERROR_INVALID_FUNCTION ||
                        GetLastError() == ERROR_ACCESS_DENIED;
        CloseHandle(handle);
        return ok;
    }
};

}  // namespace

DiskSync& RealDiskSync() {
    static RealSync sync;
    return sync;
}

RecordFile::RecordFile(DiskSync& sync) : sync_(sync) {}

RecordFile::~RecordFile() {
    Close();
}

void RecordFile::Close() {
    if (IsOpen()) CloseHandle(Handle(handle_));
    handle_ = kClosed;
    created_ = false;
    folderOwed_ = false;
}

RecordFile::Opened RecordFile::Open(const std::string& path, Access access, int lockWaitMs,
                                    std::string& error) {
    Close();
    const DWORD rights = access == Access::kRead ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
    for (int attempt = 0; attempt < kReopenTries; ++attempt) {
        bool made = false;
        HANDLE file = INVALID_HANDLE_VALUE;
        if (access == Access::kAppend) {
            file = CreateFileA(path.c_str(), rights, share, nullptr, CREATE_NEW, flags, nullptr);
            made = file != INVALID_HANDLE_VALUE;
        }
        if (file == INVALID_HANDLE_VALUE &&
            (access == Access::kRead || GetLastError() == ERROR_FILE_EXISTS)) {
            file = CreateFileA(path.c_str(), rights, share, nullptr, OPEN_EXISTING, flags, nullptr);
        }
        if (file == INVALID_HANDLE_VALUE) {
            const DWORD code = GetLastError();
            error = Reason(code);
            return access == Access::kRead && code == ERROR_FILE_NOT_FOUND ? Opened::kMissing
                                                                           : Opened::kFailed;
        }
        handle_ = reinterpret_cast<intptr_t>(file);
        error = NotAFile(file);
        if (!error.empty()) {
            Close();
            return Opened::kFailed;
        }
        if (access == Access::kRead) return Opened::kOpened;
        const Opened locked = LockWhole(file, lockWaitMs, error);
        if (locked != Opened::kOpened) {
            Close();
            return locked;
        }
        if (!DeletePending(file)) {
            path_ = path;
            created_ = made;
            folderOwed_ = made;
            return Opened::kOpened;
        }
        Close();
    }
    error = "removed and made again by another program while it was opened";
    return Opened::kFailed;
}

int64_t RecordFile::Size() const {
    LARGE_INTEGER size{};
    if (!IsOpen() || !GetFileSizeEx(Handle(handle_), &size)) return -1;
    return size.QuadPart;
}

bool RecordFile::ReadAt(uint64_t offset, size_t max, std::string& bytes, std::string& error) const {
    // No more room than the file holds now, and a byte to see it grow.
    const int64_t size = Size();
    if (size >= 0) {
        const uint64_t left =
            static_cast<uint64_t>(size) > offset ? static_cast<uint64_t>(size) - offset : 0;
        max = static_cast<size_t>(std::min<uint64_t>(max, left + 1));
    }
    bytes.resize(max);
    size_t got = 0;
    while (got < max) {
        OVERLAPPED at{};
        const uint64_t where = offset + got;
        at.Offset = static_cast<DWORD>(where & 0xFFFFFFFF);
        at.OffsetHigh = static_cast<DWORD>(where >> 32);
        const DWORD ask = static_cast<DWORD>(std::min<size_t>(max - got, 1 << 30));
        DWORD read = 0;
        if (!ReadFile(Handle(handle_), bytes.data() + got, ask, &read, &at)) {
            const DWORD code = GetLastError();
            if (code == ERROR_HANDLE_EOF) break;
            error = "cannot be read (" + Reason(code) + ")";
            bytes.clear();
            return false;
        }
        if (read == 0) break;
        got += read;
    }
    bytes.resize(got);
    return true;
}

bool RecordFile::ReadAll(size_t max, std::string& bytes, std::string& error) const {
    const int64_t size = Size();
    if (size < 0) {
        error = "cannot be read (" + Reason(GetLastError()) + ")";
        return false;
    }
    if (!ReadAt(0, max + 1, bytes, error)) return false;
    if (static_cast<uint64_t>(size) > max || bytes.size() > max) {
        error = "larger than " + std::to_string(max) + " bytes";
        return false;
    }
    return true;
}

bool RecordFile::Append(std::string_view text, std::string& error) {
    if (!IsOpen()) {
        error = "not open";
        return false;
    }
    // A newline of its own after a cut-off line, in the same write.
    std::string bytes;
    const int64_t size = Size();
    std::string last;
    if (size > 0 && ReadAt(static_cast<uint64_t>(size - 1), 1, last, error) && last != "\n")
        bytes += '\n';
    bytes += text;
    // Both offsets 0xFFFFFFFF: the write goes to the end of the file, as with
    // FILE_APPEND_DATA ("WriteFile" in the Win32 documentation).
    std::string_view rest = bytes;
    while (!rest.empty()) {
        OVERLAPPED end{};
        end.Offset = 0xFFFFFFFF;
        end.OffsetHigh = 0xFFFFFFFF;
        DWORD written = 0;
        const DWORD ask = static_cast<DWORD>(std::min<size_t>(rest.size(), 1 << 30));
        if (!WriteFile(Handle(handle_), rest.data(), ask, &written, &end) || written == 0) {
            error = "cannot be written (" + Reason(GetLastError()) + ")";
            return false;
        }
        rest.remove_prefix(written);
    }
    return Sync(error);
}

bool RecordFile::Sync(std::string& error) {
    if (!IsOpen() || !sync_.SyncFile(handle_)) {
        error = "cannot be flushed to the disk (" + Reason(GetLastError()) + ")";
        return false;
    }
    if (folderOwed_) {
        if (!sync_.SyncFolder(FolderOf(path_))) {
            error = "its folder cannot be flushed to the disk (" + Reason(GetLastError()) + ")";
            return false;
        }
        folderOwed_ = false;
    }
    return true;
}

bool RecordFile::Remove(std::string& error) {
    // Every handle on the file shares deletion: the file goes once the last
    // is closed, and a writer that opens it meanwhile sees it pending.
    if (!IsOpen() || !DeleteFileA(path_.c_str())) {
        error = "cannot be removed (" + Reason(GetLastError()) + ")";
        return false;
    }
    return true;
}

bool IsFolder(const std::string& folder, std::string& error) {
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        error = Reason(GetLastError());
        return false;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        error = "not a folder";
        return false;
    }
    return true;
}

// Whether this user may make a file in the folder is its access list's to
// say, which cannot be told without making one (the read-only attribute of a
// folder means nothing to that): it is a folder.
bool CheckFolderWritable(const std::string& folder, std::string& error) {
    return IsFolder(folder, error);
}

}  // namespace zul::records
