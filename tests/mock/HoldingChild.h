#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace zul::test {

// Another process that takes something (a lock, a device) with take and
// keeps it until it is told to let go, or is killed.
class HoldingChild {
public:
    explicit HoldingChild(const std::function<bool()>& take) {
        int ready[2];
        int release[2];
        if (pipe(ready) != 0 || pipe(release) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(ready[0]);
            close(release[1]);
            const char taken = take() ? 'y' : 'n';
            [[maybe_unused]] ssize_t w = write(ready[1], &taken, 1);
            char c;
            [[maybe_unused]] ssize_t r = read(release[0], &c, 1);  // until the parent lets go
            _exit(0);
        }
        close(ready[1]);
        close(release[0]);
        release_ = release[1];
        char taken = 'n';
        holding_ = read(ready[0], &taken, 1) == 1 && taken == 'y';
        close(ready[0]);
    }
    ~HoldingChild() { Release(); }
    HoldingChild(const HoldingChild&) = delete;
    HoldingChild& operator=(const HoldingChild&) = delete;

    // True when take succeeded in the child.
    bool holding() const { return holding_; }
    // Lets the child end and waits for it.
    void Release() { Stop(false); }
    // Kills the child, as a crash would end it, and waits for it.
    void Kill() { Stop(true); }

private:
    void Stop(bool kill) {
        if (pid_ > 0 && kill) ::kill(pid_, SIGKILL);
        if (release_ >= 0) close(release_);
        release_ = -1;
        if (pid_ > 0) waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

    pid_t pid_ = -1;
    int release_ = -1;
    bool holding_ = false;
};

}  // namespace zul::test
