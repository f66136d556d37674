#pragma once

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace zul::test {

// The user and group a check runs as when the tests run as root: nobody.
inline constexpr uid_t kUnprivilegedUid = 65534;
inline constexpr gid_t kUnprivilegedGid = 65534;
// A group the bench's operators share, which nobody joins for a check.
inline constexpr gid_t kBenchGid = 4242;
inline constexpr gid_t kNoGroup = static_cast<gid_t>(-1);

// Runs check in a child process; true when it returned true. With seconds,
// the child is ended by SIGALRM after that long: a check that hangs fails.
inline bool InChild(const std::function<bool()>& check, unsigned seconds = 0) {
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        alarm(seconds);
        _exit(check() ? 0 : 1);
    }
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// In a process of the tests' own, when they run as root (as in CI): drops
// for good to kUnprivilegedUid, with group as its one supplementary group,
// so that file permissions mean what they mean to an operator. False when
// that failed.
inline bool DropToUnprivilegedUser(gid_t group = kNoGroup) {
    return geteuid() != 0 ||
           (setgroups(group == kNoGroup ? 0 : 1, &group) == 0 && setgid(kUnprivilegedGid) == 0 &&
            setuid(kUnprivilegedUid) == 0 && setuid(0) != 0);
}

// Runs check in a child process that first drops as DropToUnprivilegedUser
// does. True when the check returned true; false when it did not, or the
// child could not drop its privileges.
inline bool AsUnprivilegedUser(const std::function<bool()>& check, gid_t group = kNoGroup) {
    return InChild([&] { return DropToUnprivilegedUser(group) && check(); });
}

}  // namespace zul::test
