#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "app/SingleInstance.h"

namespace zul {
namespace {

namespace fs = std::filesystem;

// A copy of the program in another process that takes the lock and keeps it
// until it is told to end (or killed).
class Holder {
public:
    explicit Holder(const std::string& name) {
        int ready[2];
        int quit[2];
        if (pipe(ready) != 0 || pipe(quit) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(ready[0]);
            close(quit[1]);
            const char acquired = AcquireSingleInstance(name) ? 'y' : 'n';
            [[maybe_unused]] ssize_t w = write(ready[1], &acquired, 1);
            char c;
            [[maybe_unused]] ssize_t r = read(quit[0], &c, 1);  // until the parent lets go
            _exit(0);
        }
        close(ready[1]);
        close(quit[0]);
        quit_ = quit[1];
        char acquired = 'n';
        if (read(ready[0], &acquired, 1) == 1) acquired_ = acquired == 'y';
        close(ready[0]);
    }
    ~Holder() { End(); }

    bool acquired() const { return acquired_; }
    void End() { Stop(false); }
    void Crash() { Stop(true); }

private:
    void Stop(bool kill) {
        if (pid_ <= 0) return;
        if (kill) ::kill(pid_, SIGKILL);
        close(quit_);
        int status;
        waitpid(pid_, &status, 0);
        pid_ = -1;
    }
    pid_t pid_ = -1;
    int quit_ = -1;
    bool acquired_ = false;
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
        char tmpl[] = "/tmp/zul10-instance-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("XDG_RUNTIME_DIR");
        fs::remove_all(dir_);
    }
    fs::path dir_;
};

TEST_F(SingleInstanceTest, SecondCopyIsRefusedWhileTheFirstRuns) {
    Holder first("ZUL10");
    ASSERT_TRUE(first.acquired());
    EXPECT_TRUE(fs::exists(dir_ / "ZUL10.lock"));
    EXPECT_FALSE(SecondCopyAcquires("ZUL10"));
    EXPECT_FALSE(SecondCopyAcquires("ZUL10"));
    EXPECT_TRUE(SecondCopyAcquires("OTHER"));
    first.End();
    EXPECT_TRUE(SecondCopyAcquires("ZUL10"));
}

TEST_F(SingleInstanceTest, CrashedCopyDoesNotBlockTheNextStart) {
    Holder first("ZUL10");
    ASSERT_TRUE(first.acquired());
    first.Crash();
    EXPECT_TRUE(fs::exists(dir_ / "ZUL10.lock"));  // the file stays, the lock does not
    EXPECT_TRUE(SecondCopyAcquires("ZUL10"));
}

TEST_F(SingleInstanceTest, FallsBackToTmpdir) {
    unsetenv("XDG_RUNTIME_DIR");
    setenv("TMPDIR", dir_.c_str(), 1);
    Holder first("ZUL10");
    unsetenv("TMPDIR");
    ASSERT_TRUE(first.acquired());
    EXPECT_TRUE(fs::exists(dir_ / "ZUL10.lock"));
}

TEST_F(SingleInstanceTest, HolderMayAskAgain) {
    // Forked children would inherit what this process holds, so this one
    // keeps to itself.
    EXPECT_TRUE(AcquireSingleInstance("ZUL10-self"));
    EXPECT_TRUE(AcquireSingleInstance("ZUL10-self"));
}

TEST_F(SingleInstanceTest, UncreatableLockFileDoesNotStopTheProgram) {
    setenv("XDG_RUNTIME_DIR", (dir_ / "missing").c_str(), 1);
    EXPECT_TRUE(SecondCopyAcquires("ZUL10"));
}

}  // namespace
}  // namespace zul
