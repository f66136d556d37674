// Twenty copies of the built program started at the same moment, offscreen,
// with a port that does not exist: the one that gets through waits in the
// port error box; the other nineteen end at once with exit code 0.

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "mock/TemporaryDirectory.h"

#ifndef ZUL10_BINARY
#error "ZUL10_BINARY must name the built program"
#endif

namespace {

using namespace std::chrono_literals;

constexpr int kCopies = 20;

TEST(ProgramRace, TwentyCopiesAtOnceLeaveExactlyOneRunning) {
    const zul::test::TemporaryDirectory dir;
    ASSERT_TRUE(dir.ok());
    const std::string work = dir.path().string();
    const std::string lockDir = work + "/run";
    ASSERT_EQ(mkdir(lockDir.c_str(), 0700), 0);

    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    std::vector<pid_t> copies;
    for (int i = 0; i < kCopies; ++i) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(gate[1]);
            if (chdir(work.c_str()) != 0) _exit(99);
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
            setenv("XDG_RUNTIME_DIR", lockDir.c_str(), 1);
            setenv("ZUL10_COM1", "/nonexistent/zul10-port", 1);
            char c;
            [[maybe_unused]] ssize_t n = read(gate[0], &c, 1);
            execl(ZUL10_BINARY, ZUL10_BINARY, static_cast<char*>(nullptr));
            _exit(98);
        }
        copies.push_back(pid);
    }
    close(gate[0]);
    close(gate[1]);

    // The nineteen that lose end quickly; the winner stays in its box.
    std::vector<pid_t> running = copies;
    int exitedZero = 0;
    int exitedOther = 0;
    const auto end = std::chrono::steady_clock::now() + 20s;
    while (running.size() > 1 && std::chrono::steady_clock::now() < end) {
        for (auto it = running.begin(); it != running.end();) {
            int status = 0;
            if (waitpid(*it, &status, WNOHANG) == *it) {
                (WIFEXITED(status) && WEXITSTATUS(status) == 0 ? exitedZero : exitedOther)++;
                it = running.erase(it);
            } else {
                ++it;
            }
        }
        std::this_thread::sleep_for(20ms);
    }
    // The survivor must still be there a while later.
    std::this_thread::sleep_for(1s);
    for (auto it = running.begin(); it != running.end();) {
        int status = 0;
        if (waitpid(*it, &status, WNOHANG) == *it) {
            exitedOther++;
            it = running.erase(it);
        } else {
            ++it;
        }
    }
    EXPECT_EQ(exitedZero, kCopies - 1);
    EXPECT_EQ(exitedOther, 0);
    EXPECT_EQ(running.size(), 1u);
    std::printf("program race: %d of %d ended with 0, %zu still running\n", exitedZero, kCopies,
                running.size());

    for (pid_t pid : running) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
}

}  // namespace
