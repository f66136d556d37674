#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "records/RecordFile.h"

namespace zul::records {

namespace {

using Opened = RecordFile::Opened;

// How often a held lock is tried again while it is waited for.
constexpr useconds_t kLockPauseUs = 1000;
// How often a file removed under a waiting writer is opened again.
constexpr int kReopenTries = 5;

std::string Reason(int error) {
    return std::strerror(error);
}

// What stands at a path that is no regular file, in words.
std::string NotAFile(mode_t mode) {
    if (S_ISLNK(mode)) return "a symbolic link, not a file; nothing is written through it";
    if (S_ISFIFO(mode)) return "a FIFO, not a file";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device, not a file";
    if (S_ISDIR(mode)) return "a folder, not a file";
    if (S_ISSOCK(mode)) return "a socket, not a file";
    return "not a regular file";
}

std::string FolderOf(const std::string& path) {
    const std::filesystem::path p(path);
    return p.has_parent_path() ? p.parent_path().string() : ".";
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

// The write lock over the whole file, tried until waitMs have passed. An
// open file description lock (F_OFD_SETLK) holds between two descriptors of
// one process as between processes (fcntl(2)).
Opened LockWhole(int fd, int waitMs, std::string& error) {
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    for (int waited = 0;; ++waited) {
        if (fcntl(fd, F_OFD_SETLK, &whole) == 0) return Opened::kOpened;
        if (errno != EAGAIN && errno != EACCES && errno != EINTR) {
            error = "cannot be locked (" + Reason(errno) + ")";
            return Opened::kFailed;
        }
        if (waited >= waitMs) {
            error = "locked by another writer";
            return Opened::kLockHeld;
        }
        usleep(kLockPauseUs);
    }
}

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
                return Opened::kFailed;
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
            } else {
                error = Reason(errno);
            }
            return Opened::kFailed;
        }
        handle_ = fd;
        struct stat opened {};
        if (fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
            error = NotAFile(opened.st_mode);
            Close();
            return Opened::kFailed;
        }
        // Whatever the umask: the folder's group may append.
        if (made && fchmod(fd, 0664) != 0) {
            error = "cannot be made writable for the group (" + Reason(errno) + ")";
            Close();
            return Opened::kFailed;
        }
        if (access == Access::kRead) return Opened::kOpened;
        const Opened locked = LockWhole(fd, lockWaitMs, error);
        if (locked != Opened::kOpened) {
            Close();
            return locked;
        }
        // Still the file of that name: the spool's clean-up may have removed
        // it while the lock was waited for.
        struct stat now {};
        if (fstat(fd, &now) == 0 && now.st_nlink > 0 && lstat(path.c_str(), &now) == 0 &&
            now.st_dev == opened.st_dev && now.st_ino == opened.st_ino) {
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
    struct stat st {};
    if (!IsOpen() || fstat(static_cast<int>(handle_), &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size);
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
        const ssize_t n = pread(static_cast<int>(handle_), bytes.data() + got, max - got,
                                static_cast<off_t>(offset + got));
        if (n < 0) {
            if (errno == EINTR) continue;
            error = "cannot be read (" + Reason(errno) + ")";
            bytes.clear();
            return false;
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    bytes.resize(got);
    return true;
}

bool RecordFile::ReadAll(size_t max, std::string& bytes, std::string& error) const {
    const int64_t size = Size();
    if (size < 0) {
        error = "cannot be read (" + Reason(errno) + ")";
        return false;
    }
    if (static_cast<uint64_t>(size) > max) {
        error = "larger than " + std::to_string(max) + " bytes";
        return false;
    }
    // One byte more than the size: a file that grew since is read whole too.
    if (!ReadAt(0, max + 1, bytes, error)) return false;
    if (bytes.size() > max) {
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
    const int fd = static_cast<int>(handle_);
    // A newline of its own after a cut-off line, in the same write.
    std::string bytes;
    const int64_t size = Size();
    char last = '\n';
    if (size > 0 && pread(fd, &last, 1, size - 1) == 1 && last != '\n') bytes += '\n';
    bytes += text;
    std::string_view rest = bytes;
    while (!rest.empty()) {
        const ssize_t n = write(fd, rest.data(), rest.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = "cannot be written (" + Reason(n < 0 ? errno : ENOSPC) + ")";
            return false;
        }
        rest.remove_prefix(static_cast<size_t>(n));
    }
    return Sync(error);
}

bool RecordFile::Sync(std::string& error) {
    if (!IsOpen() || !sync_.SyncFile(handle_)) {
        error = "cannot be synced to the disk (" + Reason(errno) + ")";
        return false;
    }
    // A new file's name is in the folder's own data.
    if (folderOwed_) {
        if (!sync_.SyncFolder(FolderOf(path_))) {
            error = "its folder cannot be synced to the disk (" + Reason(errno) + ")";
            return false;
        }
        folderOwed_ = false;
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

bool CheckFolderWritable(const std::string& folder, std::string& error) {
    if (!IsFolder(folder, error)) return false;
    if (access(folder.c_str(), W_OK | X_OK) != 0) {
        error = Reason(errno);
        return false;
    }
    return true;
}

}  // namespace zul::records
