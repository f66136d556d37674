#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <set>

#include "app/SingleInstance.h"

namespace zul {

namespace {

std::string LockDirectory() {
    for (const char* variable : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
        const char* dir = std::getenv(variable);
        if (dir != nullptr && dir[0] != '\0') {
            return dir;
        }
    }
    return "/tmp";
}

}  // namespace

bool AcquireSingleInstance(const std::string& name) {
    // The names this process holds; their descriptors are never closed.
    static std::mutex guard;
    static std::set<std::string> held;
    const std::lock_guard<std::mutex> lock(guard);

    const std::string path = LockDirectory() + "/" + name + ".lock";
    if (held.count(path) != 0) {
        return true;
    }
    int fd;
    do {
        fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return true;
    }
    int result;
    do {
        result = flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        const bool heldElsewhere = errno == EWOULDBLOCK;
        close(fd);
        return !heldElsewhere;
    }
    held.insert(path);
    return true;  // fd stays open until the process ends
}

}  // namespace zul
