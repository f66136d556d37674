// Twenty copies asking for the single-instance lock at the same moment:
// exactly one gets it.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/SingleInstance.h"
#include "mock/TemporaryDirectory.h"

namespace zul {
namespace {

constexpr int kCopies = 20;
constexpr int kRounds = 10;

// Starts kCopies children that wait at a common gate, then all ask for the
// lock and keep what they got until every child has asked (so a late child
// cannot take a lock that an early winner has already given back), and exit
// 1 when they got it, 0 when refused. Returns the number that got it.
int Race(const std::string& lockDir) {
    setenv("XDG_RUNTIME_DIR", lockDir.c_str(), 1);
    int gate[2], asked[2], release[2];
    if (pipe(gate) != 0 || pipe(asked) != 0 || pipe(release) != 0) return -1;
    std::vector<pid_t> children;
    for (int i = 0; i < kCopies; ++i) {
        const pid_t pid = fork();
        if (pid == 0) {
            close(gate[1]);
            close(asked[0]);
            close(release[1]);
            char c = 0;
            [[maybe_unused]] ssize_t n = read(gate[0], &c, 1);  // returns when the gate closes
            const bool got = AcquireSingleInstance("ZUL10");
            n = write(asked[1], &c, 1);
            n = read(release[0], &c, 1);  // returns when the parent has heard every child
            _exit(got ? 1 : 0);
        }
        if (pid > 0) children.push_back(pid);
    }
    close(gate[0]);
    close(asked[1]);
    close(release[0]);
    close(gate[1]);  // opens the gate for all at once
    char c;
    for (size_t heard = 0; heard < children.size() && read(asked[0], &c, 1) == 1;) ++heard;
    close(asked[0]);
    close(release[1]);  // every child has asked: let them end
    int winners = 0;
    for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        if (WIFEXITED(status) && WEXITSTATUS(status) == 1) ++winners;
    }
    unsetenv("XDG_RUNTIME_DIR");
    return children.size() == kCopies ? winners : -1;
}

TEST(SingleInstanceRace, ExactlyOneOfTwentyCopiesStartedAtOnceRuns) {
    for (int round = 0; round < kRounds; ++round) {
        const test::TemporaryDirectory dir;
        ASSERT_TRUE(dir.ok());
        EXPECT_EQ(Race(dir.path()), 1) << "round " << round;
    }
}

// The lock file already exists from an earlier run that ended: still one.
TEST(SingleInstanceRace, LeftoverLockFileStillLetsExactlyOneRun) {
    const test::TemporaryDirectory dir;
    ASSERT_TRUE(dir.ok());
    ASSERT_EQ(Race(dir.path()), 1);
    ASSERT_TRUE(std::filesystem::exists(dir.path() / "ZUL10.lock"));
    EXPECT_EQ(Race(dir.path()), 1);
}

}  // namespace
}  // namespace zul
