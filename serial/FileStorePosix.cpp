#include <fcntl.h>
#include <signal.h>
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

// Writes content to a fresh file beside path and renames it over path, so
// that path holds either its old or its new content, never a part.
bool ReplaceFile(const std::string& path, std::string_view content) {
    const std::string temporary = path + ".tmp." + std::to_string(getpid());
    unlink(temporary.c_str());  // one left over by a copy that died with this pid
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
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

bool StoreFile(const std::string& path, std::string_view content) {
    return ReplaceFile(path, content);
}

}  // namespace zul
