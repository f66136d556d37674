// Names as the records and settings code meets them on a bench PC: folders
// and values outside the ANSI code page (Japanese), which reach the system
// whole through the wide calls on Windows; the root of a share as a records
// folder; and the joining of names to folders that end in their root.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "mock/Environment.h"
#include "mock/SpooledRuns.h"
#include "mock/TemporaryDirectory.h"
#include "records/FolderDestination.h"
#include "records/FolderName.h"
#include "records/Forward.h"
#include "records/RecordFile.h"
#include "records/RecordReader.h"
#include "records/Spool.h"
#include "serial/FileStore.h"
#include "serial/Utf8.h"

namespace zul {
namespace {

using namespace records;

TEST(FolderName, AShareRootIsAskedWithOneBackslashAndNoOtherNameChanges) {
    struct Case {
        const char* name;
        bool shareRoot;
        const char* asked;
    };
    for (const Case& c : std::vector<Case>{
             {"\\\\server\\share", true, "\\\\server\\share\\"},
             {"\\\\server\\share\\", true, "\\\\server\\share\\"},
             {"//server/share//", true, "//server/share\\"},
             {"\\\\?\\UNC\\server\\share", true, "\\\\?\\UNC\\server\\share\\"},
             {"\\\\server\\share\\sub", false, "\\\\server\\share\\sub"},
             {"C:\\", false, "C:\\"},
             {"\\\\server", false, "\\\\server"},
             {"\\\\server\\", false, "\\\\server\\"},
             {"\\\\.\\COM1", false, "\\\\.\\COM1"},
             {"\\\\?\\C:\\", false, "\\\\?\\C:\\"},
         }) {
        EXPECT_EQ(IsShareRoot(c.name), c.shareRoot) << c.name;
        EXPECT_EQ(FolderQueryName(c.name), c.asked) << c.name;
    }
}

TEST(FolderName, NamesJoinWithOneSeparatorAndAFileKeepsItsFoldersRoot) {
#ifdef _WIN32
    EXPECT_EQ(JoinPath("C:\\", "a.jsonl"), "C:\\a.jsonl");
    EXPECT_EQ(JoinPath("\\\\server\\share", "a.jsonl"), "\\\\server\\share\\a.jsonl");
    EXPECT_EQ(JoinPath("\\\\server\\share\\", "a.jsonl"), "\\\\server\\share\\a.jsonl");
    EXPECT_EQ(JoinPath("C:", "a.jsonl"), "C:a.jsonl");  // that drive's current folder
    EXPECT_EQ(FolderOfPath("\\\\server\\share\\a.jsonl"), "\\\\server\\share\\");
    EXPECT_EQ(FolderOfPath("C:\\a.jsonl"), "C:\\");
    EXPECT_EQ(FolderOfPath("C:a.jsonl"), "C:");
#else
    EXPECT_EQ(JoinPath("/srv/records", "a.jsonl"), "/srv/records/a.jsonl");
    EXPECT_EQ(JoinPath("/", "a.jsonl"), "/a.jsonl");
    EXPECT_EQ(FolderOfPath("/srv/records/a.jsonl"), "/srv/records");
    EXPECT_EQ(FolderOfPath("/a.jsonl"), "/");
#endif
    EXPECT_EQ(JoinPath("", "a.jsonl"), "a.jsonl");
    EXPECT_EQ(FolderOfPath("a.jsonl"), ".");
}

constexpr const char* kUser = "山田太郎";

TEST(JapaneseNames, TheEnvironmentGivesTheSpoolFolderWhole) {
#ifdef _WIN32
    const std::string local = std::string("C:\\users\\") + kUser + "\\AppData\\Local";
    const test::ScopedVariable variable("LOCALAPPDATA", local);
    EXPECT_EQ(Spool::DefaultFolder(), local + "\\ZUL10\\records");
#else
    const std::string state = std::string("/home/") + kUser + "/.local/state";
    const test::ScopedVariable variable("XDG_STATE_HOME", state);
    EXPECT_EQ(Spool::DefaultFolder(), state + "/zul10/records");
#endif
    EXPECT_EQ(EnvironmentUtf8("ZUL10_NO_SUCH_VARIABLE"), std::nullopt);
}

// The record's way from the spool into the records folder, and the files of
// the settings and the line monitor, in folders named in Japanese: each file
// lands in the folder named, under its name, and is read back from there.
TEST(JapaneseNames, EveryFileTakesAFolderNamedOutsideTheCodePage) {
    test::TemporaryDirectory dir;
    const std::string spoolFolder = dir.File(std::string(kUser) + "/記録/スプール");
    const std::string share = dir.File("受信 記録");
    std::string error;
    ASSERT_TRUE(MakeFolders(share, error)) << error;
    ASSERT_TRUE(IsFolder(share, error)) << error;

    const Spool spool(spoolFolder);
    ASSERT_TRUE(spool.CheckFolder("2026-01-02", error)) << error;
    ASSERT_TRUE(spool.Append("2026-01-02", test::RecordLine("run-1", "検査台7"), error)) << error;
    std::vector<std::string> refused;
    ASSERT_EQ(spool.Files(refused).size(), 1u);
    EXPECT_EQ(spool.Files(refused)[0].path, JoinPath(spoolFolder, "zul10-2026-01-02.jsonl"));

    FolderDestination destination(share);
    std::ostringstream errors;
    EXPECT_EQ(Forward(spool, destination, errors).exitCode, 0) << errors.str();
    const std::string delivered =
        JoinPath(share, FolderDestination::FileName("2026-01-02", "検査台7"));
    RecordFile file;
    ASSERT_EQ(file.Open(delivered, RecordFile::Access::kRead, 0, error),
              RecordFile::Opened::kOpened)
        << error;
    EXPECT_EQ(test::RunIdCounts(share).count("run-1"), 1u);
    RecordReader reader(errors);
    EXPECT_TRUE(reader.ReadFolder(share, {}, [](const RunRecord&) {}));
    EXPECT_EQ(reader.tally().files, 1);
    EXPECT_FALSE(reader.tally().readError) << errors.str();

    // The settings file's store and the line monitor's append.
    const std::string settings = JoinPath(spoolFolder, "設定.ini");
    ASSERT_TRUE(StoreFile(settings, "COMPORT:COM1\r\n"));
    ASSERT_TRUE(StoreFile(settings, "COMPORT:COM2\r\n"));  // replaces the one there
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> stored(OpenStoredFile(settings),
                                                                 std::fclose);
    ASSERT_TRUE(stored);
    char bytes[32] = {};
    EXPECT_EQ(std::string(bytes, std::fread(bytes, 1, sizeof bytes, stored.get())),
              "COMPORT:COM2\r\n");
    AppendFile trace;
    ASSERT_TRUE(trace.Open(JoinPath(spoolFolder, "回線.trace"), error)) << error;
    EXPECT_TRUE(trace.Append("TX B6\n"));
    trace.Close();
    EXPECT_EQ(test::ReadFile(JoinPath(spoolFolder, "回線.trace")), "TX B6\n");
}

#ifdef _WIN32
// The root of a share as the records folder. Wine reaches a share through
// the prefix's dosdevices/unc/SERVER/SHARE; scripts/test-windows.sh makes one
// and names it in ZUL_TEST_SHARE ("\\zul-share\records", with a folder
// "sub" in it).
TEST(ShareRoot, AShareRootIsAFolderInEveryFormAndTakesTheRecords) {
    const std::optional<std::string> share = EnvironmentUtf8("ZUL_TEST_SHARE");
    if (!share) GTEST_SKIP() << "no share: scripts/test-windows.sh names one";
    std::string error;
    for (const std::string& folder :
         {*share, *share + "\\", *share + "\\sub", std::string("C:\\")}) {
        EXPECT_TRUE(IsFolder(folder, error)) << folder << ": " << error;
        EXPECT_TRUE(CheckFolderWritable(folder, error)) << folder << ": " << error;
        EXPECT_TRUE(MakeFolders(folder, error)) << folder << ": " << error;
        std::vector<FolderEntry> entries;
        EXPECT_TRUE(ListFolder(folder, entries, error)) << folder << ": " << error;
    }
    EXPECT_FALSE(IsFolder(*share + "\\missing", error));

    test::TemporaryDirectory dir;
    const Spool spool(dir.File("spool"));
    ASSERT_TRUE(spool.Append("2026-01-03", test::RecordLine("run-share"), error)) << error;
    for (const std::string& folder : {*share, *share + "\\"}) {
        FolderDestination destination(folder);
        std::ostringstream errors;
        EXPECT_EQ(Forward(spool, destination, errors).exitCode, 0) << folder << errors.str();
    }
    const std::string delivered =
        JoinPath(*share, FolderDestination::FileName("2026-01-03", "BENCH-1"));
    RecordFile file;
    std::string text;
    ASSERT_EQ(file.Open(delivered, RecordFile::Access::kRead, 0, error),
              RecordFile::Opened::kOpened)
        << error;
    ASSERT_TRUE(file.ReadAll(1 << 20, text, error)) << error;
    // Once: both names are the one folder to the spool's bookkeeping.
    EXPECT_EQ(text, test::RecordLine("run-share"));
    std::ostringstream errors;
    RecordReader reader(errors);
    EXPECT_TRUE(reader.ReadFolder(*share, {}, [](const RunRecord&) {})) << errors.str();
}
#endif

}  // namespace
}  // namespace zul
