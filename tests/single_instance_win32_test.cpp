// The named mutex between processes: the test program starts itself as the
// second copy (ZUL_MUTEX_CHILD names the mutex it tries), which runs no test:
// it ends before them with kGot when it got the mutex and kRefused when it was
// refused, codes that neither a crash nor a test run ends with.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "app/SingleInstance.h"

namespace zul {
namespace {

constexpr DWORD kGot = 10;
constexpr DWORD kRefused = 11;

// The body of the second copy, before any test is registered to run.
[[maybe_unused]] const bool kSecondCopy = [] {
    const char* name = std::getenv("ZUL_MUTEX_CHILD");
    if (name != nullptr) std::exit(AcquireSingleInstance(name) ? kGot : kRefused);
    return false;
}();

// Runs this program as a second copy trying name; its exit code, or MAXDWORD.
DWORD SecondCopy(const std::string& name) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    SetEnvironmentVariableA("ZUL_MUTEX_CHILD", name.c_str());
    std::string commandLine = std::string("\"") + self + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessA(self, commandLine.data(), nullptr, nullptr, FALSE, 0,
                                        nullptr, nullptr, &startup, &process);
    SetEnvironmentVariableA("ZUL_MUTEX_CHILD", nullptr);
    if (!started) return MAXDWORD;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = MAXDWORD;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

TEST(NamedMutexTest, SecondHolderIsRefusedAndAnEndedHolderBlocksNothing) {
    const std::string name = "ZUL10-test-" + std::to_string(GetCurrentProcessId());
    EXPECT_EQ(SecondCopy(name), kGot);  // nobody holds it; the copy's end drops it
    ASSERT_TRUE(AcquireSingleInstance(name));
    EXPECT_TRUE(AcquireSingleInstance(name));  // this process again
    EXPECT_EQ(SecondCopy(name), kRefused);
    EXPECT_EQ(SecondCopy(name + "-other"), kGot);
}

}  // namespace
}  // namespace zul
