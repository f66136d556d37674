#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <string>

#include "serial/FileStore.h"

namespace zul {

namespace {

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

// The file a path names in the end: each symbolic link on the way followed
// (a bench may share one file through a link), as far as links go.
std::string FollowLinks(std::string path) {
    namespace fs = std::filesystem;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(path, ec))) break;
        const fs::path target = fs::read_symlink(path, ec);
        if (ec) break;
        path = target.is_absolute() ? target.string()
                                    : (fs::path(path).parent_path() / target).string();
    }
    return path;
}

bool Commit(int fd, std::string_view content) {
    bool ok = WriteAll(fd, content);
    ok = fsync(fd) == 0 && ok;
    return close(fd) == 0 && ok;
}

// Writes content to a fresh file beside path, with the old file's mode and
// owner, and renames it over path, so that path holds either its old or its
// new content, never a part.
enum class Replaced { kDone, kNoTemporary, kFailed };

Replaced ReplaceFile(const std::string& path, std::string_view content, const struct stat* old) {
    const std::string temporary = path + ".tmp." + std::to_string(getpid());
    unlink(temporary.c_str());  // one left over by a copy that died with this pid
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        return Replaced::kNoTemporary;
    }
    if (old != nullptr) {
        [[maybe_unused]] const int owned = fchown(fd, old->st_uid, old->st_gid);
        fchmod(fd, old->st_mode & 07777);
    }
    const bool ok = Commit(fd, content) && std::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) {
        unlink(temporary.c_str());
        return Replaced::kFailed;
    }
    RemoveStaleTemporaries(path);
    return Replaced::kDone;
}

}  // namespace

bool StoreFile(const std::string& path, std::string_view content) {
    const std::string target = FollowLinks(path);
    struct stat old {};
    if (stat(target.c_str(), &old) != 0) {
        return ReplaceFile(target, content, nullptr) == Replaced::kDone;
    }
    // An existing file is rewritten only where it may be opened for writing:
    // a read-only file stays as it is.
    const int fd = open(target.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const Replaced replaced = ReplaceFile(target, content, &old);
    if (replaced != Replaced::kNoTemporary) {
        close(fd);
        return replaced == Replaced::kDone;
    }
    // The folder takes no temporary file, but the file itself is writable:
    // rewrite it in place.
    if (ftruncate(fd, 0) != 0) {
        close(fd);
        return false;
    }
    return Commit(fd, content);
}

}  // namespace zul
