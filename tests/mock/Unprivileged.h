#pragma once

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace zul::test {

// The user and group a check runs as when the tests run as root: nobody.
inline constexpr uid_t kUnprivilegedUid = 65534;
inline constexpr gid_t kUnprivilegedGid = 65534;

// Runs check in a child process that, when the tests run as root (as in
// CI), first drops to kUnprivilegedUid, so that file permissions mean what
// they mean to an operator. True when the check returned true; false when it
// did not, or the child could not drop its privileges.
inline bool AsUnprivilegedUser(const std::function<bool()>& check) {
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(kUnprivilegedGid) != 0 ||
                               setuid(kUnprivilegedUid) != 0 || setuid(0) == 0)) {
            _exit(2);
        }
        _exit(check() ? 0 : 1);
    }
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace zul::test
