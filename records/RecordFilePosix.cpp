#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "records/RecordFile.h"

namespace zul::records {

namespace {

using Opened = RecordFile::Opened;

// How often a file removed under a waiting writer is opened again.
constexpr int kReopenTries = 5;

std::string Reason(int error) {
    return std::strerror(error);
}

// What stands at a path that is no regular file, in words.
std::string NotAFile(mode_t mode) {
    if (S_ISLNK(mode)) return "a symbolic link, not a file";
    if (S_ISFIFO(mode)) return "a FIFO, not a file";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device, not a file";
    if (S_ISDIR(mode)) return "a folder, not a file";
    if (S_ISSOCK(mode)) return "a socket, not a file";
    return "not a regular file";
}

class RealSync final : public DiskSync {
public:
    bool SyncFile(intptr_t handle) override { return fsync(static_cast<int>(handle)) == 0; }
    bool SyncFolder(const std::string& folder) override {
        const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return false;
        const bool ok = fsync(fd) == 0;
        return close(fd) == 0 && ok;
    }
};

}  // namespace

// The write lock over the whole file. An open file description lock
// (F_OFD_SETLK) holds between two descriptors of one process as between
// processes (fcntl(2)).
Tried RecordFile::TryLock(std::string& error) {
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    if (fcntl(static_cast<int>(handle_), F_OFD_SETLK, &whole) == 0) return Tried::kDone;
    if (errno == EAGAIN || errno == EACCES || errno == EINTR) return Tried::kAgain;
    error = Reason(errno);
    return Tried::kFailed;
}

DiskSync& RealDiskSync() {
    static RealSync sync;
    return sync;
}

void RecordFile::Close() {
    if (IsOpen()) close(static_cast<int>(handle_));
    handle_ = kClosed;
    created_ = false;
    folderOwed_ = false;
}

RecordFile::Opened RecordFile::Open(const std::string& path, Access access, int lockWaitMs,
                                    std::string& error) {
    Close();
    // O_NOFOLLOW refuses a link in the last place; O_NONBLOCK keeps the open
    // of a FIFO that slipped in after the look from waiting for a writer.
    const int flags = O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK |
                      (access == Access::kRead ? O_RDONLY : O_RDWR | O_APPEND);
    for (int attempt = 0; attempt < kReopenTries; ++attempt) {
        // Looked at first: the open of a device acts on it.
        struct stat seen {};
        if (lstat(path.c_str(), &seen) == 0) {
            if (!S_ISREG(seen.st_mode)) {
                error = NotAFile(seen.st_mode);
                return Opened::kNotAFile;
            }
        } else if (errno != ENOENT) {
            error = Reason(errno);
            return Opened::kFailed;
        } else if (access == Access::kRead) {
            error = Reason(ENOENT);
            return Opened::kMissing;
        }
        bool made = false;
        int fd = -1;
        if (access == Access::kAppend) {
            fd = open(path.c_str(), flags | O_CREAT | O_EXCL, 0664);
            made = fd >= 0;
        }
        if (fd < 0 && (access == Access::kRead || errno == EEXIST)) fd = open(path.c_str(), flags);
        if (fd < 0) {
            if (errno == ENOENT && access == Access::kRead) return Opened::kMissing;
            if (errno == ELOOP) {
                error = NotAFile(S_IFLNK);
                return Opened::kNotAFile;
            }
            error = Reason(errno);
            return Opened::kFailed;
        }
        handle_ = fd;
        struct stat opened {};
        if (fstat(fd, &opened) != 0) {
            error = Reason(errno);
            Close();
            return Opened::kFailed;
        }
        if (!S_ISREG(opened.st_mode)) {
            error = NotAFile(opened.st_mode);
            Close();
            return Opened::kNotAFile;
        }
        // Whatever the umask: the folder's group may append. A file system
        // that keeps no modes of its own files (vfat, a share without Unix
        // extensions) refuses the change or cannot make it; its mount decides.
        if (made && fchmod(fd, 0664) != 0 && errno != EPERM && errno != EOPNOTSUPP &&
            errno != ENOTSUP) {
            error = "cannot be made writable for the group (" + Reason(errno) + ")";
            Close();
            return Opened::kFailed;
        }
        if (access == Access::kRead) return Opened::kOpened;
        const Opened locked = LockWithin(lockWaitMs, error);
        if (locked != Opened::kOpened) {
            Close();
            return locked;
        }
        // Still the file of that name: the spool's clean-up may have removed
        // it while the lock was waited for.
        struct stat now {};
        if (fstat(fd, &now) == 0 && now.st_nlink > 0 && lstat(path.c_str(), &now) == 0 &&
            now.st_dev == opened.st_dev && now.st_ino == opened.st_ino) {
            return Keep(path, made);
        }
        Close();
    }
    error = "removed and made again by another program while it was opened";
    return Opened::kFailed;
}

int64_t RecordFile::Size() const {
    struct stat st {};
    if (!IsOpen() || fstat(static_cast<int>(handle_), &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size);
}

int64_t RecordFile::ReadSome(uint64_t offset, char* buffer, size_t size, std::string& error) const {
    for (;;) {
        const ssize_t n =
            pread(static_cast<int>(handle_), buffer, size, static_cast<off_t>(offset));
        if (n >= 0) return n;
        if (errno != EINTR) {
            error = Reason(errno);
            return -1;
        }
    }
}

bool RecordFile::WriteAtEnd(std::string_view bytes, std::string& error) {
    // O_APPEND: each write goes to the end of the file.
    while (!bytes.empty()) {
        const ssize_t n = write(static_cast<int>(handle_), bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = "cannot be written (" + Reason(n < 0 ? errno : ENOSPC) + ")";
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool RecordFile::Remove(std::string& error) {
    if (!IsOpen() || unlink(path_.c_str()) != 0) {
        error = "cannot be removed (" + Reason(errno) + ")";
        return false;
    }
    return true;
}

bool IsFolder(const std::string& folder, std::string& error) {
    struct stat st {};
    if (stat(folder.c_str(), &st) != 0) {
        error = Reason(errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        error = "not a folder";
        return false;
    }
    return true;
}

std::string AbsoluteFolder(const std::string& folder) {
    std::error_code ec;
    std::filesystem::path path = std::filesystem::absolute(folder, ec);
    if (ec) path = folder;
    return path.lexically_normal().string();
}

bool MakeFolders(const std::string& folder, std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (!ec) return IsFolder(folder, error);
    error = ec.message();
    return false;
}

bool ListFolder(const std::string& folder, std::vector<FolderEntry>& entries, std::string& error) {
    namespace fs = std::filesystem;
    entries.clear();
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code statusError;
        entries.push_back(
            {it->path().filename().string(), fs::is_regular_file(it->symlink_status(statusError))});
    }
    if (ec) error = ec.message();
    return !ec;
}

bool CheckFolderWritable(const std::string& folder, std::string& error) {
    if (!IsFolder(folder, error)) return false;
    if (access(folder.c_str(), W_OK | X_OK) != 0) {
        error = Reason(errno);
        return false;
    }
    return true;
}

}  // namespace zul::records
