#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "app/SingleInstance.h"
#include "mock/HoldingChild.h"
#include "mock/TemporaryDirectory.h"

namespace zul {
namespace {

namespace fs = std::filesystem;

// A copy of the program in another process that takes the lock and keeps it
// until it is told to end (or killed).
class Holder : public test::HoldingChild {
public:
    explicit Holder(const std::string& name)
        : HoldingChild([&name] { return AcquireSingleInstance(name); }) {}
};

// Starts another copy that only tries to take the lock; true when it got it.
bool SecondCopyAcquires(const std::string& name) {
    const pid_t pid = fork();
    if (pid == 0) _exit(AcquireSingleInstance(name) ? 0 : 1);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.ok());
        setenv("XDG_RUNTIME_DIR", dir_.path().c_str(), 1);
    }
    void TearDown() override { unsetenv("XDG_RUNTIME_DIR"); }

    test::TemporaryDirectory dir_;
};

TEST_F(SingleInstanceTest, SecondCopyIsRefusedWhileTheFirstRuns) {
    Holder first("ZUL10");
    ASSERT_TRUE(first.holding());
    EXPECT_TRUE(fs::exists(dir_.path() / "ZUL10.lock"));
    EXPECT_FALSE(SecondCopyAcquires("ZUL10"));
    EXPECT_FALSE(SecondCopyAcquires("ZUL10"));
    EXPECT_TRUE(SecondCopyAcquires("OTHER"));
    first.Release();
    EXPECT_TRUE(SecondCopyAcquires("ZUL10"));
}

TEST_F(SingleInstanceTest, CrashedCopyDoesNotBlockTheNextStart) {
    Holder first("ZUL10");
    ASSERT_TRUE(first.holding());
    first.Kill();
    EXPECT_TRUE(fs::exists(dir_.path() / "ZUL10.lock"));  // the file stays, the lock does not
    EXPECT_TRUE(SecondCopyAcquires("ZUL10"));
}

TEST_F(SingleInstanceTest, FallsBackToTmpdir) {
    unsetenv("XDG_RUNTIME_DIR");
    setenv("TMPDIR", dir_.path().c_str(), 1);
    Holder first("ZUL10");
    unsetenv("TMPDIR");
    ASSERT_TRUE(first.holding());
    EXPECT_TRUE(fs::exists(dir_.path() / "ZUL10.lock"));
}

TEST_F(SingleInstanceTest, HolderMayAskAgain) {
    // Forked children would inherit what this process holds, so this one
    // keeps to itself.
    EXPECT_TRUE(AcquireSingleInstance("ZUL10-self"));
    EXPECT_TRUE(AcquireSingleInstance("ZUL10-self"));
}

TEST_F(SingleInstanceTest, UncreatableLockFileDoesNotStopTheProgram) {
    setenv("XDG_RUNTIME_DIR", (dir_.path() / "missing").c_str(), 1);
    EXPECT_TRUE(SecondCopyAcquires("ZUL10"));
}

}  // namespace
}  // namespace zul
