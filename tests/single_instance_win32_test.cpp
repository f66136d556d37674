// The named mutex between processes: the test program starts itself as the
// second copy (ZUL_MUTEX_CHILD names the mutex it tries), which ends with 1
// when it got the mutex and 0 when it was refused.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "app/SingleInstance.h"

namespace zul {
namespace {

// Runs this program as a second copy trying name; its exit code, or -1.
int SecondCopy(const std::string& name) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    SetEnvironmentVariableA("ZUL_MUTEX_CHILD", name.c_str());
    std::string commandLine = std::string("\"") + self + "\" --gtest_filter=SecondCopy.*";
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessA(self, commandLine.data(), nullptr, nullptr, FALSE, 0,
                                        nullptr, nullptr, &startup, &process);
    SetEnvironmentVariableA("ZUL_MUTEX_CHILD", nullptr);
    if (!started) return -1;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

// The body of the second copy; does nothing in the test run itself.
TEST(SecondCopy, TriesTheMutex) {
    const char* name = std::getenv("ZUL_MUTEX_CHILD");
    if (name == nullptr) return;
    std::exit(AcquireSingleInstance(name) ? 1 : 0);
}

TEST(NamedMutexTest, SecondHolderIsRefusedAndAnEndedHolderBlocksNothing) {
    const std::string name = "ZUL10-test-" + std::to_string(GetCurrentProcessId());
    EXPECT_EQ(SecondCopy(name), 1);  // nobody holds it; the copy's end drops it
    ASSERT_TRUE(AcquireSingleInstance(name));
    EXPECT_TRUE(AcquireSingleInstance(name));  // this process again
    EXPECT_EQ(SecondCopy(name), 0);
    EXPECT_EQ(SecondCopy(name + "-other"), 1);
}

}  // namespace
}  // namespace zul
