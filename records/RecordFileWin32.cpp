#include <windows.h>

#include <algorithm>
#include <string>

#include "records/FolderName.h"
#include "records/RecordFile.h"
#include "serial/FileStore.h"
#include "serial/Utf8.h"

namespace zul::records {

namespace {

using Opened = RecordFile::Opened;

// How often a file deleted under a waiting writer is opened again.
constexpr int kReopenTries = 5;

HANDLE Handle(intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// What stands at an open handle that is no file on a disk, in words; empty
// for a file. A link or a junction is opened as itself
// (FILE_FLAG_OPEN_REPARSE_POINT), never followed.
std::string NotAFile(HANDLE file) {
    if (GetFileType(file) != FILE_TYPE_DISK) return "a device, not a file";
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info)) return LastSystemError();
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return "a symbolic link, not a file";
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

// Whether the file was deleted while it was open (by the spool's clean-up).
bool DeletePending(HANDLE file) {
    FILE_STANDARD_INFO info{};
    return GetFileInformationByHandleEx(file, FileStandardInfo, &info, sizeof info) &&
           info.DeletePending;
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
            CreateFileW(Wide(FolderQueryName(folder)).c_str(), GENERIC_READ | GENERIC_WRITE,
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

Tried RecordFile::TryLock(std::string& error) {
    OVERLAPPED place = LockPlace();
    if (LockFileEx(Handle(handle_), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                   &place)) {
        return Tried::kDone;
    }
    const DWORD code = GetLastError();
    if (code == ERROR_LOCK_VIOLATION || code == ERROR_IO_PENDING) return Tried::kAgain;
    error = LastSystemError();
    return Tried::kFailed;
}

DiskSync& RealDiskSync() {
    static RealSync sync;
    return sync;
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
    const std::wstring name = Wide(path);
    for (int attempt = 0; attempt < kReopenTries; ++attempt) {
        // Looked at first: a folder cannot be opened as a file at all (the
        // open is refused as access denied), and a link is named as one.
        const DWORD attributes = GetFileAttributesW(name.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                error = "a symbolic link, not a file";
                return Opened::kNotAFile;
            }
            if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
                error = "a folder, not a file";
                return Opened::kNotAFile;
            }
        }
        bool made = false;
        HANDLE file = INVALID_HANDLE_VALUE;
        if (access == Access::kAppend) {
            file = CreateFileW(name.c_str(), rights, share, nullptr, CREATE_NEW, flags, nullptr);
            made = file != INVALID_HANDLE_VALUE;
        }
        if (file == INVALID_HANDLE_VALUE &&
            (access == Access::kRead || GetLastError() == ERROR_FILE_EXISTS)) {
            file = CreateFileW(name.c_str(), rights, share, nullptr, OPEN_EXISTING, flags, nullptr);
        }
        if (file == INVALID_HANDLE_VALUE) {
            const DWORD code = GetLastError();
            error = LastSystemError();
            return access == Access::kRead && code == ERROR_FILE_NOT_FOUND ? Opened::kMissing
                                                                           : Opened::kFailed;
        }
        handle_ = reinterpret_cast<intptr_t>(file);
        error = NotAFile(file);
        if (!error.empty()) {
            Close();
            return Opened::kNotAFile;
        }
        if (access == Access::kRead) return Opened::kOpened;
        const Opened locked = LockWithin(lockWaitMs, error);
        if (locked != Opened::kOpened) {
            Close();
            return locked;
        }
        if (!DeletePending(file)) {
            return Keep(path, made);
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

int64_t RecordFile::ReadSome(uint64_t offset, char* buffer, size_t size, std::string& error) const {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    if (ReadFile(Handle(handle_), buffer, static_cast<DWORD>(std::min<size_t>(size, 1 << 30)),
                 &read, &at)) {
        return read;
    }
    if (GetLastError() == ERROR_HANDLE_EOF) return 0;
    error = LastSystemError();
    return -1;
}

bool RecordFile::WriteAtEnd(std::string_view bytes, std::string& error) {
    while (!bytes.empty()) {
        // Both offsets 0xFFFFFFFF: the write goes to the end of the file, as
        // with FILE_APPEND_DATA ("WriteFile" in the Win32 documentation).
        OVERLAPPED end{};
        end.Offset = 0xFFFFFFFF;
        end.OffsetHigh = 0xFFFFFFFF;
        DWORD written = 0;
        const DWORD ask = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1 << 30));
        if (!WriteFile(Handle(handle_), bytes.data(), ask, &written, &end) || written == 0) {
            error = "cannot be written (" + LastSystemError() + ")";
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

bool RecordFile::Remove(std::string& error) {
    // Every handle on the file shares deletion: the file goes once the last
    // is closed, and a writer that opens it meanwhile sees it pending.
    if (!IsOpen() || !DeleteFileW(Wide(path_).c_str())) {
        error = "cannot be removed (" + LastSystemError() + ")";
        return false;
    }
    return true;
}

// Asked by GetFileAttributesW rather than std::filesystem, whose status goes
// through the C runtime's _wstat64, which finds no share's root.
bool IsFolder(const std::string& folder, std::string& error) {
    const DWORD attributes = GetFileAttributesW(Wide(FolderQueryName(folder)).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        error = LastSystemError();
        return false;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        error = "not a folder";
        return false;
    }
    return true;
}

std::string AbsoluteFolder(const std::string& folder) {
    const std::wstring name = Wide(folder);
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD size =
            GetFullPathNameW(name.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (size == 0) return folder;
        if (size < full.size()) {
            full.resize(size);
            return Utf8(full);
        }
        full.resize(size);  // the size needed, with the closing zero
    }
}

// The folders are made from the top down, each once its parent is there; the
// root (a drive, "\\server\share") is never made.
bool MakeFolders(const std::string& folder, std::string& error) {
    if (IsFolder(folder, error)) return true;
    const std::string parent = FolderOfPath(folder);
    if (parent != folder && parent != "." && !IsShareRoot(parent) && !IsFolder(parent, error) &&
        !MakeFolders(parent, error)) {
        return false;
    }
    if (!CreateDirectoryW(Wide(folder).c_str(), nullptr) &&
        GetLastError() != ERROR_ALREADY_EXISTS) {
        error = LastSystemError();
        return false;
    }
    return IsFolder(folder, error);
}

bool ListFolder(const std::string& folder, std::vector<FolderEntry>& entries, std::string& error) {
    entries.clear();
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileExW(Wide(JoinPath(folder, "*")).c_str(), FindExInfoBasic,
                                           &found, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
        if (GetLastError() == ERROR_FILE_NOT_FOUND) return true;  // nothing at all in it
        error = LastSystemError();
        return false;
    }
    do {
        const std::wstring_view name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        constexpr DWORD kNoFile =
            FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
        entries.push_back({Utf8(name), (found.dwFileAttributes & kNoFile) == 0});
    } while (FindNextFileW(search, &found));
    const bool ok = GetLastError() == ERROR_NO_MORE_FILES;
    if (!ok) error = LastSystemError();
    FindClose(search);
    return ok;
}

// Whether this user may make a file in the folder is its access list's to
// say, which cannot be told without making one (the read-only attribute of a
// folder means nothing to that): it is a folder.
bool CheckFolderWritable(const std::string& folder, std::string& error) {
    return IsFolder(folder, error);
}

}  // namespace zul::records
