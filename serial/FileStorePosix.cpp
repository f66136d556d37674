#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "serial/FileStore.h"

namespace zul {

namespace {

namespace fs = std::filesystem;

// How many links a path may pass through: the kernel's MAXSYMLINKS
// (include/linux/namei.h); one more is a loop (ELOOP).
constexpr int kMaxLinks = 40;

// An in-place rewrite puts no more than this in its one write, the smallest
// page: the kernel copies a write page by page (or folio by folio) and looks
// for a fatal signal only before each (generic_perform_write in
// mm/filemap.c), so a kill cannot cut it.
constexpr size_t kOneWriteBytes = 4096;

// How long an advisory lock is waited for: a holder keeps it for a few
// system calls, unless it was stopped, and then it is done without.
constexpr uint32_t kLockWaitMs = 200;
constexpr uint32_t kLockPauseMs = 1;

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

// Takes the advisory lock (flock) by which a reader never meets an in-place
// rewrite half done. False when it was not had in time.
bool Lock(int fd, int operation) {
    return RetryFor(RealClock(), kLockWaitMs, kLockPauseMs, [&] {
               if (flock(fd, operation | LOCK_NB) == 0) return Tried::kDone;
               return errno == EWOULDBLOCK || errno == EINTR ? Tried::kAgain : Tried::kFailed;
           }) == Tried::kDone;
}

fs::path FolderOf(const fs::path& path) {
    return path.has_parent_path() ? path.parent_path() : fs::path(".");
}

// Removes the temporaries that writers killed half way left beside path;
// one whose process still runs is left alone.
void RemoveStaleTemporaries(const std::string& path) {
    const fs::path target(path);
    const std::string prefix = target.filename().string() + ".tmp.";
    std::error_code ec;
    for (fs::directory_iterator it(FolderOf(target), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(prefix, 0) != 0) continue;
        const char* digits = name.data() + prefix.size();
        const char* last = name.data() + name.size();
        pid_t pid = 0;
        const auto [parsed, error] = std::from_chars(digits, last, pid);
        if (error != std::errc{} || parsed != last || pid <= 0) continue;
        if (pid != getpid() && kill(pid, 0) != 0 && errno == ESRCH) {
            unlink(it->path().c_str());
        }
    }
}

// Whether a link may be followed, by the kernel's rule for
// fs.protected_symlinks (may_follow_link in fs/namei.c), kept here whether
// that setting is on or not: the link belongs to the caller, or its folder is
// not both sticky and writable by all, or the link belongs to the folder's
// owner. Otherwise another user may have planted it to have the caller write
// where it should not.
bool MayFollow(const struct stat& link, const struct stat& folder) {
    if (link.st_uid == geteuid()) return true;
    if ((folder.st_mode & (S_ISVTX | S_IWOTH)) != (S_ISVTX | S_IWOTH)) return true;
    return link.st_uid == folder.st_uid;
}

// What a path names in the end, each link on the way followed (a bench may
// share one file through a link).
struct Target {
    std::string path;  // never a link
    bool exists = false;
    struct stat status {};
};

// False for a link that may not be followed, a loop, or a path that cannot
// be looked at; a missing file (or a link to one) is a target to create.
bool Resolve(std::string path, Target& target) {
    for (int links = 0;; ++links) {
        struct stat status {};
        if (lstat(path.c_str(), &status) != 0) {
            if (errno != ENOENT) return false;
            target = {path, false, {}};
            return true;
        }
        if (!S_ISLNK(status.st_mode)) {
            target = {path, true, status};
            return true;
        }
        const fs::path folder = FolderOf(path);
        struct stat folderStatus {};
        if (links == kMaxLinks || stat(folder.c_str(), &folderStatus) != 0 ||
            !MayFollow(status, folderStatus)) {
            return false;
        }
        std::error_code ec;
        const fs::path next = fs::read_symlink(path, ec);
        if (ec) return false;
        path = next.is_absolute() ? next.string() : (folder / next).string();
    }
}

bool Commit(int fd, std::string_view content) {
    bool ok = WriteAll(fd, content);
    ok = fsync(fd) == 0 && ok;
    return close(fd) == 0 && ok;
}

// The rename is in the folder's own data: synced with it.
void SyncFolder(const std::string& path) {
    const int fd = open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

// Writes content to a fresh file beside path, with the old file's mode,
// owner and group, and renames it over path, so that path holds either its
// old or its new content, never a part.
enum class Replaced {
    kDone,
    kFailed,
    kInPlace,  // no fresh file could be made, or not one with the old owner and group
};

Replaced ReplaceFile(const std::string& path, std::string_view content, const struct stat* old) {
    const std::string temporary = path + ".tmp." + std::to_string(getpid());
    unlink(temporary.c_str());  // one left over by a copy that died with this pid
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        return Replaced::kInPlace;
    }
    if (old != nullptr &&
        (fchown(fd, old->st_uid, old->st_gid) != 0 || fchmod(fd, old->st_mode & 07777) != 0)) {
        close(fd);
        unlink(temporary.c_str());
        return Replaced::kInPlace;
    }
    if (!Commit(fd, content) || std::rename(temporary.c_str(), path.c_str()) != 0) {
        unlink(temporary.c_str());
        return Replaced::kFailed;
    }
    SyncFolder(path);
    RemoveStaleTemporaries(path);
    return Replaced::kDone;
}

// Rewrites the open file fd in place, under the lock that keeps readers out
// for the moment it takes: content, with blanks over the rest of the old
// bytes within the first page, in one write, then the file cut to content. A
// writer killed between the two leaves content, blanks, and any old bytes
// past the first page. A write that fails or falls short (a file size limit)
// gets the old bytes back.
bool RewriteInPlace(int fd, std::string_view content) {
    const bool locked = Lock(fd, LOCK_EX);
    struct stat status {};
    std::string old(kOneWriteBytes, '\0');
    const ssize_t oldBytes = fstat(fd, &status) == 0 ? pread(fd, old.data(), old.size(), 0) : -1;
    old.resize(static_cast<size_t>(std::max<ssize_t>(oldBytes, 0)));
    std::string bytes(content);
    bytes.resize(std::max(bytes.size(), old.size()), ' ');
    const ssize_t written = oldBytes < 0 ? -1 : pwrite(fd, bytes.data(), bytes.size(), 0);
    bool ok = written == static_cast<ssize_t>(bytes.size()) &&
              ftruncate(fd, static_cast<off_t>(content.size())) == 0;
    if (!ok && written > 0) {
        const size_t back = std::min(old.size(), static_cast<size_t>(written));
        [[maybe_unused]] const ssize_t restored = pwrite(fd, old.data(), back, 0);
        [[maybe_unused]] const int cut = ftruncate(fd, status.st_size);
    }
    if (locked) flock(fd, LOCK_UN);
    ok = fsync(fd) == 0 && ok;
    return close(fd) == 0 && ok;
}

}  // namespace

bool StoreFile(const std::string& path, std::string_view content) {
    Target target;
    if (!Resolve(path, target)) {
        return false;
    }
    if (!target.exists) {
        return ReplaceFile(target.path, content, nullptr) == Replaced::kDone;
    }
    // Only a regular file is opened: the open of a pipe waits for a reader,
    // and that of a device acts on it.
    if (!S_ISREG(target.status.st_mode)) {
        return false;
    }
    // An existing file is rewritten only where it may be opened for writing:
    // a read-only file stays as it is. Opened as the same file that was
    // looked at, never through a link put in its place since.
    const int fd = open(target.path.c_str(), O_RDWR | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat opened {};
    if (fstat(fd, &opened) != 0 || opened.st_dev != target.status.st_dev ||
        opened.st_ino != target.status.st_ino) {
        close(fd);
        return false;
    }
    const Replaced replaced = ReplaceFile(target.path, content, &opened);
    if (replaced != Replaced::kInPlace) {
        close(fd);
        return replaced == Replaced::kDone;
    }
    // The folder takes no fresh file, or the file's owner or group could not
    // be kept on one: the file itself is rewritten.
    return RewriteInPlace(fd, content);
}

std::FILE* OpenStoredFile(const std::string& path) {
    // As in StoreFile: nothing but a regular file is opened.
    struct stat status {};
    if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return nullptr;
    }
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    struct stat opened {};
    std::FILE* file = nullptr;
    if (fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode)) {
        Lock(fd, LOCK_SH);  // held until the file is closed
        file = fdopen(fd, "rb");
    }
    if (file == nullptr) {
        close(fd);
    }
    return file;
}

std::string LastSystemError() {
    return std::strerror(errno);
}

namespace {

// An open file description lock (fcntl F_OFD_SETLK) over the whole file: it
// holds between two descriptors of one process as between processes, and an
// NFS client passes it on to the server as a POSIX lock (fcntl(2)).
bool LockRecordFile(int fd, Clock& clock) {
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    return RetryFor(clock, kRecordLockWaitMs, kLockPauseMs, [&] {
               if (fcntl(fd, F_OFD_SETLK, &whole) == 0) return Tried::kDone;
               return errno == EAGAIN || errno == EACCES || errno == EINTR ? Tried::kAgain
                                                                           : Tried::kFailed;
           }) == Tried::kDone;
}

// True when the file's last byte is a newline (or the file is empty).
bool EndsWithNewline(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || st.st_size == 0) return true;
    char last = '\n';
    return pread(fd, &last, 1, st.st_size - 1) != 1 || last == '\n';
}

}  // namespace

bool AppendFile::Open(const std::string& path, std::string& error) {
    Close();
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = LastSystemError();
        return false;
    }
    handle_ = fd;
    return true;
}

bool AppendFile::Append(std::string_view text) {
    return IsOpen() && WriteAll(static_cast<int>(handle_), text);
}

void AppendFile::Close() {
    if (IsOpen()) close(static_cast<int>(handle_));
    handle_ = kClosed;
}

bool AppendRecord(const std::string& path, std::string_view record, std::string& error,
                  Clock& clock) {
    bool created = true;
    int fd = open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST) {
        created = false;
        fd = open(path.c_str(), O_RDWR | O_APPEND | O_CLOEXEC);
    }
    if (fd < 0) {
        error = LastSystemError();
        return false;
    }
    LockRecordFile(fd, clock);
    // A newline of its own first after a cut-off line, in the same write.
    const size_t cut = EndsWithNewline(fd) ? 0 : 1;
    std::string text(cut + record.size(), '\n');
    record.copy(text.data() + cut, record.size());
    bool ok = WriteAll(fd, text);
    if (!ok) error = LastSystemError();
    if (ok && fsync(fd) != 0) {
        error = LastSystemError();
        ok = false;
    }
    close(fd);  // gives the lock back
    // A new file's name is in the folder's own data.
    if (ok && created) SyncFolder(path);
    return ok;
}

}  // namespace zul
