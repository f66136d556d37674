// The Start-menu launcher's working folder: made when missing (also under a
// name in Japanese), a folder there before taken as it is, and something
// else in its place refused, never reported as made. The program it starts
// runs in that folder: the test program starts itself as the program
// (ZUL_WORK_FOLDER_PROBE names a file), which runs no test and writes the
// folder it was started in into that file.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "app/launcher/WorkFolder.h"

namespace zul::launcher {
namespace {

// The body of the started copy, before any test is registered to run.
[[maybe_unused]] const bool kStartedCopy = [] {
    wchar_t probe[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"ZUL_WORK_FOLDER_PROBE", probe, MAX_PATH) == 0) return false;
    std::wstring folder(32768, L'\0');
    folder.resize(GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data()));
    const HANDLE file = CreateFileW(probe, GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, folder.data(), static_cast<DWORD>(folder.size() * sizeof(wchar_t)), &written,
              nullptr);
    CloseHandle(file);
    ExitProcess(0);
}();

class WorkFolderTest : public testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH] = {};
        ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
        // A user folder named in Japanese, with the trailing backslash
        // GetTempPathW gives.
        base_ = std::wstring(temp) + L"zul-launcher-\u5c71\u7530-" +
                std::to_wstring(GetCurrentProcessId()) + L"\\";
        ASSERT_TRUE(CreateDirectoryW(base_.c_str(), nullptr));
    }
    void TearDown() override {
        for (const wchar_t* name : {L"ZUL10\\probe", L"ZUL10", L"other"}) {
            const std::wstring path = base_ + name;
            if (!DeleteFileW(path.c_str())) RemoveDirectoryW(path.c_str());
        }
        RemoveDirectoryW(base_.c_str());
    }
    static bool IsFolder(const std::wstring& path) {
        const DWORD attributes = GetFileAttributesW(path.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    }
    std::wstring base_;
};

TEST_F(WorkFolderTest, AMissingFolderIsMadeAFolderThereTakenAndAFileInItsPlaceRefused) {
    const std::wstring folder = WorkFolderIn(base_);
    EXPECT_EQ(folder, base_ + L"ZUL10");
    EXPECT_EQ(MakeFolder(folder), 0u);
    EXPECT_TRUE(IsFolder(folder));
    EXPECT_EQ(MakeFolder(folder), 0u);

    const std::wstring other = base_ + L"other";
    const HANDLE file =
        CreateFileW(other.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_EQ(MakeFolder(other), static_cast<unsigned long>(ERROR_DIRECTORY));
    EXPECT_FALSE(IsFolder(other));
    EXPECT_NE(MakeFolder(base_ + L"missing\\ZUL10"), 0u);  // no parent
}

TEST_F(WorkFolderTest, TheProgramStartsInTheFolder) {
    const std::wstring folder = WorkFolderIn(base_);
    ASSERT_EQ(MakeFolder(folder), 0u);
    std::wstring self(32768, L'\0');
    self.resize(GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
    const std::wstring probe = folder + L"\\probe";
    SetEnvironmentVariableW(L"ZUL_WORK_FOLDER_PROBE", probe.c_str());
    const unsigned long started = StartIn(self, folder);
    SetEnvironmentVariableW(L"ZUL_WORK_FOLDER_PROBE", nullptr);
    ASSERT_EQ(started, 0u);

    // It runs on its own; its file is there once it closed it.
    std::wstring got;
    for (int i = 0; i < 200 && got.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const HANDLE file =
            CreateFileW(probe.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) continue;
        wchar_t text[1024] = {};
        DWORD read = 0;
        ReadFile(file, text, sizeof text - sizeof(wchar_t), &read, nullptr);
        CloseHandle(file);
        got.assign(text, read / sizeof(wchar_t));
    }
    EXPECT_EQ(got, folder);

    EXPECT_EQ(StartIn(base_ + L"missing.exe", folder),
              static_cast<unsigned long>(ERROR_FILE_NOT_FOUND));
    EXPECT_NE(StartIn(self, base_ + L"other"), 0u);  // no such folder
}

}  // namespace
}  // namespace zul::launcher
