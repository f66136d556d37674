#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#else
#include <windows.h>
#endif

#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <thread>

#include "mock/CaseNames.h"
#include "mock/RecordingMessageSink.h"
#include "mock/TemporaryDirectory.h"
#ifndef _WIN32
#include "mock/Unprivileged.h"
#endif
#include "serial/SettingsFile.h"

namespace zul {
namespace {

using namespace std::string_literals;
using test::ReadFile;
using test::RecordingMessageSink;
using test::WriteFile;

const std::string kDefaultContent =
    "*** BILL VALIDATOR ***\r\n"
    "BORDRATE:CBR_9600\r\n"
    "COMPORT:COM1\r\n"
    "STOPBIT:ONESTOPBIT\r\n"
    "PARITYBIT:EVENPARITY\r\n";

struct Parsed {
    PortSettings selection;
    LineSettings line;
};

Parsed Parse(const std::string& content) {
    Parsed p;
    p.selection = {-1, -1, -1, -1};
    p.line = LineSettings{"junk", 1, 7, 5, 9};
    ParseSettingsFile(content, p.selection, p.line);
    return p;
}

const PortSettings kDefaults{0, 2, 0, 1};
const LineSettings kDefaultLine{"COM1", 9600, kEvenParity, 8, kOneStopBit};

class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.ok()); }

    test::TemporaryDirectory dir_;
    std::string path_ = dir_.File(kSettingsFileName);
    RecordingMessageSink sink_;
};

TEST_F(SettingsFileTest, DefaultContentIsThe99BytesOfFiveCrLfLines) {
    EXPECT_EQ(FormatSettingsFile(PortSettings{}), kDefaultContent);
    EXPECT_EQ(kDefaultContent.size(), 99u);
    ASSERT_TRUE(WriteSettingsFile(path_, PortSettings{}, sink_));
    EXPECT_EQ(ReadFile(path_), kDefaultContent);
    EXPECT_TRUE(sink_.boxes.empty());
    EXPECT_EQ(dir_.Entries(), 1u);  // no temporary left beside it
}

TEST_F(SettingsFileTest, GroupWithoutSelectionWritesNoLine) {
    EXPECT_EQ(FormatSettingsFile(PortSettings{-1, 5, 2, 3}), "*** BILL VALIDATOR ***\r\n");
    EXPECT_EQ(FormatSettingsFile(PortSettings{6, -1, 1, 0}),
              "*** BILL VALIDATOR ***\r\nCOMPORT:COM7\r\nSTOPBIT:TWOSTOPBITS\r\n"
              "PARITYBIT:NOPARITY\r\n");
}

TEST_F(SettingsFileTest, EveryWrittenSelectionReadsBack) {
    for (int port = 0; port < 7; ++port) {
        for (int baud = 0; baud < 5; ++baud) {
            for (int stop = 0; stop < 2; ++stop) {
                for (int parity = 0; parity < 3; ++parity) {
                    const PortSettings written{port, baud, stop, parity};
                    ASSERT_TRUE(WriteSettingsFile(path_, written, sink_));
                    PortSettings read{-1, -1, -1, -1};
                    LineSettings line;
                    ReadSettingsFile(path_, read, line);
                    ASSERT_EQ(read, written);
                    EXPECT_EQ(line.portName, PortNameForIndex(port));
                    EXPECT_EQ(line.baudRate, BaudRateForIndex(baud));
                    EXPECT_EQ(line.stopBits, StopBitsForIndex(stop));
                    EXPECT_EQ(line.parity, ParityForIndex(parity));
                    EXPECT_EQ(line.byteSize, 8);
                }
            }
        }
    }
}

TEST(SettingsSetters, MapIndexesToLineValues) {
    EXPECT_EQ(PortNameForIndex(0), "COM1");
    EXPECT_EQ(PortNameForIndex(6), "COM7");
    EXPECT_EQ(PortNameForIndex(7), "COM1");
    EXPECT_EQ(PortNameForIndex(-1), "COM1");
    EXPECT_EQ(BaudRateForIndex(0), 1200);
    EXPECT_EQ(BaudRateForIndex(4), 38400);
    EXPECT_EQ(BaudRateForIndex(5), 9600);
    EXPECT_EQ(StopBitsForIndex(1), kTwoStopBits);
    EXPECT_EQ(StopBitsForIndex(0), kOneStopBit);
    EXPECT_EQ(StopBitsForIndex(2), kOneStopBit);
    // The file's parity order (none, even, odd) is not the line's (none, odd, even).
    EXPECT_EQ(ParityForIndex(0), kNoParity);
    EXPECT_EQ(ParityForIndex(1), kEvenParity);
    EXPECT_EQ(ParityForIndex(2), kOddParity);
    EXPECT_EQ(ParityForIndex(-1), kEvenParity);
}

struct ReadCase {
    const char* name;
    std::string content;
    PortSettings selection;
    LineSettings line;
};
void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << c.name;
}

class SettingsReadTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(SettingsReadTest, Reads) {
    const Parsed p = Parse(GetParam().content);
    EXPECT_EQ(p.selection, GetParam().selection);
    EXPECT_EQ(p.line, GetParam().line);
}

const std::string kLong(200, 'x');

INSTANTIATE_TEST_SUITE_P(
    Contents, SettingsReadTest,
    ::testing::Values(
        ReadCase{"Empty", "", kDefaults, kDefaultLine},
        ReadCase{"Default", kDefaultContent, kDefaults, kDefaultLine},
        ReadCase{"Baud1200", "BORDRATE:CBR_1200\r\n", {0, 0, 0, 1}, {"COM1", 1200, 2, 8, 0}},
        ReadCase{"Baud2400", "BORDRATE:CBR_2400\r\n", {0, 1, 0, 1}, {"COM1", 2400, 2, 8, 0}},
        ReadCase{"AllSet",
                 "BORDRATE:CBR_38400\r\nCOMPORT:COM7\r\nSTOPBIT:TWOSTOPBITS\r\n"
                 "PARITYBIT:ODDPARITY\r\n",
                 {6, 4, 1, 2},
                 {"COM7", 38400, kOddParity, 8, kTwoStopBits}},
        ReadCase{"LfOnlyAndNoTitle",
                 "BORDRATE:CBR_19200\nCOMPORT:COM3\nSTOPBIT:ONESTOPBIT\n"
                 "PARITYBIT:NOPARITY",
                 {2, 3, 0, 0},
                 {"COM3", 19200, kNoParity, 8, kOneStopBit}},
        ReadCase{"PortBeforeBaudIsSkipped",
                 "COMPORT:COM4\r\nBORDRATE:CBR_2400\r\n",
                 {0, 1, 0, 1},
                 {"COM1", 2400, 2, 8, 0}},
        ReadCase{"PortAfterBaudAgain",
                 "COMPORT:COM4\r\nBORDRATE:CBR_2400\r\nCOMPORT:COM5\r\n",
                 {4, 1, 0, 1},
                 {"COM5", 2400, 2, 8, 0}},
        ReadCase{"Com12IsCom1",
                 "BORDRATE:CBR_9600\r\nCOMPORT:COM12\r\nSTOPBIT:TWOSTOPBITS\r\n",
                 {0, 2, 1, 1},
                 {"COM1", 9600, 2, 8, 2}},
        ReadCase{"Baud4800KeepsDefaultAndMovesOn",
                 "BORDRATE:CBR_4800\r\nCOMPORT:COM2\r\n",
                 {1, 2, 0, 1},
                 {"COM2", 9600, 2, 8, 0}},
        ReadCase{"NoPortLineKeepsTheRestDefault",
                 "BORDRATE:CBR_1200\r\nSTOPBIT:TWOSTOPBITS\r\nPARITYBIT:NOPARITY\r\n",
                 {0, 0, 0, 1},
                 {"COM1", 1200, 2, 8, 0}},
        ReadCase{
            "LowercaseIsNotRecognised",
            "bordrate:CBR_1200\r\nBORDRATE:cbr_2400\r\nCOMPORT:com3\r\nstopbit:TWOSTOPBITS\r\n",
            {0, 2, 0, 1},
            {"COM1", 9600, 2, 8, 0}},
        ReadCase{"TwoKeysInOneLineSetOnlyTheBaud",
                 "BORDRATE:CBR_19200 COMPORT:COM2\r\nSTOPBIT:TWOSTOPBITS\r\n",
                 {0, 3, 0, 1},
                 {"COM1", 19200, 2, 8, 0}},
        ReadCase{"ValueBeforeKeyAndAnywhere",
                 "xx CBR_2400 yy BORDRATE: zz\r\n COM6COMPORT:\r\n",
                 {5, 1, 0, 1},
                 {"COM6", 2400, 2, 8, 0}},
        ReadCase{"FirstValueInTableOrderWins",
                 "BORDRATE:CBR_38400 CBR_1200\r\nCOMPORT:COM7,COM2\r\n"
                 "STOPBIT:TWOSTOPBITS ONESTOPBIT\r\nPARITYBIT:ODDPARITY EVENPARITY\r\n",
                 {1, 0, 0, 1},
                 {"COM2", 1200, 2, 8, 0}},
        ReadCase{"NothingAfterParityKeyIsRead",
                 "BORDRATE:CBR_1200\r\nCOMPORT:COM2\r\nSTOPBIT:ONESTOPBIT\r\n"
                 "PARITYBIT:NOPARITY\r\nBORDRATE:CBR_38400\r\n",
                 {1, 0, 0, 0},
                 {"COM2", 1200, 0, 8, 0}},
        // A long line is read in pieces of 127 characters: a key in the
        // first piece, its value in the second, is a key without a value.
        ReadCase{"LongLineSplitsKeyFromValue",
                 "BORDRATE:" + std::string(118, 'x') + "CBR_1200\r\nCOMPORT:COM3\r\n",
                 {2, 2, 0, 1},
                 {"COM3", 9600, 2, 8, 0}},
        ReadCase{"LongLineKeyAndValueInOnePiece",
                 "BORDRATE:" + std::string(110, 'x') + "CBR_1200\r\nCOMPORT:COM3\r\n",
                 {2, 0, 0, 1},
                 {"COM3", 1200, 2, 8, 0}},
        ReadCase{"RestOfALongLineIsALine",
                 "BORDRATE:CBR_1200" + std::string(127 - 17, 'x') + "COMPORT:COM4\r\n",
                 {3, 0, 0, 1},
                 {"COM4", 1200, 2, 8, 0}},
        ReadCase{"LoneCrIsNoLineEnd",
                 "BORDRATE:CBR_1200\rCOMPORT:COM2\r\n",
                 {0, 0, 0, 1},
                 {"COM1", 1200, 2, 8, 0}},
        ReadCase{"NulEndsTheLine",
                 "BORDRATE:\0CBR_1200\r\nCOMPORT:COM2\r\n"s,
                 {1, 2, 0, 1},
                 {"COM2", 9600, 2, 8, 0}},
        ReadCase{"NulHidesAKey",
                 "\0BORDRATE:CBR_1200\r\nBORDRATE:CBR_2400\r\n"s,
                 {0, 1, 0, 1},
                 {"COM1", 2400, 2, 8, 0}},
        ReadCase{"BinaryJunk",
                 "\xff\xfe\x01\r\r\n\x80\x1a\x00\n BORDRATE:CBR_19200\r\n"s + kLong + "\r",
                 {0, 3, 0, 1},
                 {"COM1", 19200, 2, 8, 0}}),
    zul::test::FieldName());

TEST_F(SettingsFileTest, MissingFileGivesTheDefaultsWithoutAMessage) {
    PortSettings selection{5, 4, 1, 2};
    LineSettings line{"COM6", 38400, kOddParity, 7, kTwoStopBits};
    ReadSettingsFile(path_, selection, line);
    EXPECT_EQ(selection, kDefaults);
    EXPECT_EQ(line, kDefaultLine);
    ReadSettingsFile(dir_.path().string(), selection, line);  // a directory reads as nothing
    EXPECT_EQ(selection, kDefaults);
}

TEST_F(SettingsFileTest, FileReadsLikeItsContent) {
    const std::string content =
        "*** BILL VALIDATOR ***\r\nBORDRATE:CBR_1200\r\nCOMPORT:COM5\r\nSTOPBIT:TWOSTOPBITS\r\n"
        "PARITYBIT:NOPARITY\r\n";
    WriteFile(path_, content);
    PortSettings selection;
    LineSettings line;
    ReadSettingsFile(path_, selection, line);
    const Parsed expected = Parse(content);
    EXPECT_EQ(selection, expected.selection);
    EXPECT_EQ(line, expected.line);
    EXPECT_EQ(selection, (PortSettings{4, 0, 1, 0}));
}

TEST_F(SettingsFileTest, HugeFileWithKeysAtTheStartIsReadWithoutLoadingIt) {
    {
        std::ofstream out(path_, std::ios::binary);
        out << "BORDRATE:CBR_1200\r\nCOMPORT:COM2\r\nSTOPBIT:ONESTOPBIT\r\nPARITYBIT:NOPARITY\r\n";
        const std::string junk(1 << 16, 'z');
        for (int i = 0; i < 64; ++i) out << junk;  // 4 MiB of one line
    }
    PortSettings selection;
    LineSettings line;
    ReadSettingsFile(path_, selection, line);
    EXPECT_EQ(selection, (PortSettings{1, 0, 0, 0}));
}

TEST_F(SettingsFileTest, UncreatableFileShowsTheMessageAndReturnsFalse) {
    const std::string missing = (dir_.path() / "no-such-dir" / kSettingsFileName).string();
    EXPECT_FALSE(WriteSettingsFile(missing, PortSettings{}, sink_));
    ASSERT_EQ(sink_.boxes.size(), 1u);
    EXPECT_EQ(sink_.boxes[0].caption, "WRITE FILE");
    EXPECT_EQ(sink_.boxes[0].text, "File cannot be opened");
}

#ifndef _WIN32  // POSIX permissions and processes
// The file as an operator's account meets it: owned by that account, in a
// folder it may not write to (the file is rewritten in place), or made
// read-only (left alone, with a box). The mode stays either way.
TEST_F(SettingsFileTest, LockedFolderOrReadOnlyFileAsAnOperator) {
    const PortSettings chosen{5, 0, 1, 0};
    const std::string chosenContent = FormatSettingsFile(chosen);
    WriteFile(path_, kDefaultContent);
    ASSERT_EQ(chown(path_.c_str(), test::kUnprivilegedUid, test::kUnprivilegedGid), 0);
    ASSERT_EQ(chmod(path_.c_str(), 0640), 0);
    ASSERT_EQ(chmod(dir_.path().c_str(), 0555), 0);  // no temporary file can be made
    EXPECT_TRUE(test::AsUnprivilegedUser([&] {
        RecordingMessageSink sink;
        return WriteSettingsFile(path_, chosen, sink) && sink.boxes.empty();
    }));
    EXPECT_EQ(ReadFile(path_), chosenContent);
    EXPECT_EQ(dir_.Entries(), 1u);

    ASSERT_EQ(chmod(dir_.path().c_str(), 0777), 0);
    ASSERT_EQ(chmod(path_.c_str(), 0444), 0);
    EXPECT_TRUE(test::AsUnprivilegedUser([&] {
        RecordingMessageSink sink;
        return !WriteSettingsFile(path_, PortSettings{}, sink) && sink.boxes.size() == 1 &&
               sink.boxes[0].caption == "WRITE FILE" &&
               sink.boxes[0].text == "File cannot be opened";
    }));
    EXPECT_EQ(ReadFile(path_), chosenContent);
    struct stat st {};
    ASSERT_EQ(stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
    EXPECT_EQ(st.st_uid, test::kUnprivilegedUid);
    EXPECT_EQ(dir_.Entries(), 1u);
}

// A bench that shares one file through a link: the file is rewritten, the
// link stays, and the file keeps its mode.
TEST_F(SettingsFileTest, LinkedFileIsRewrittenAndTheLinkStays) {
    const std::string shared = dir_.File("shared.ini");
    WriteFile(shared, kDefaultContent);
    ASSERT_EQ(chmod(shared.c_str(), 0604), 0);
    ASSERT_EQ(symlink("shared.ini", path_.c_str()), 0);
    ASSERT_TRUE(WriteSettingsFile(path_, PortSettings{5, 0, 1, 0}, sink_));
    struct stat st {};
    ASSERT_EQ(lstat(path_.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ReadFile(shared), FormatSettingsFile(PortSettings{5, 0, 1, 0}));
    ASSERT_EQ(stat(shared.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
    EXPECT_EQ(dir_.Entries(), 2u);
}

// A link that another user put in a folder everybody may write to is not
// followed, nor one leading to it: root would write wherever it points. A
// link of the caller's, of the folder's owner, or in another folder is.
TEST_F(SettingsFileTest, LinkIsFollowedOnlyWhereTheSystemWouldFollowIt) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to give a link to another user";
    const std::string victim = dir_.File("victim");
    const std::string chosen = FormatSettingsFile(PortSettings{5, 0, 1, 0});
    constexpr uid_t kOther = test::kUnprivilegedUid;
    struct Case {
        mode_t folderMode;
        uid_t folderOwner;
        uid_t linkOwner;
        bool followed;
    };
    for (const Case& c : {Case{01777, 0, kOther, false}, Case{01777, 0, 0, true},
                          Case{00777, 0, kOther, true}, Case{01777, kOther, kOther, true}}) {
        test::TemporaryDirectory shared;
        const std::string link = shared.File(kSettingsFileName);
        WriteFile(victim, "root's own\n");
        ASSERT_TRUE(chown(shared.path().c_str(), c.folderOwner, 0) == 0 &&
                    chmod(shared.path().c_str(), c.folderMode) == 0 &&
                    symlink(victim.c_str(), link.c_str()) == 0 &&
                    lchown(link.c_str(), c.linkOwner, c.linkOwner) == 0 &&
                    symlink(link.c_str(), path_.c_str()) == 0);  // root's own link to it
        for (const std::string& named : {link, path_}) {
            EXPECT_EQ(WriteSettingsFile(named, PortSettings{5, 0, 1, 0}, sink_), c.followed);
            EXPECT_EQ(ReadFile(victim), c.followed ? chosen : "root's own\n");
        }
        EXPECT_TRUE(std::filesystem::is_symlink(link));
        EXPECT_EQ(shared.Entries(), 1u);
        ASSERT_EQ(unlink(path_.c_str()), 0);
    }
}

// A write that runs out of room half way (a full disk) must leave the old
// file whole and no temporary behind.
TEST_F(SettingsFileTest, FailedWriteHalfWayKeepsTheOldFile) {
    WriteFile(path_, kDefaultContent);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{40, 40};
        setrlimit(RLIMIT_FSIZE, &limit);
        RecordingMessageSink sink;
        const bool ok = WriteSettingsFile(path_, PortSettings{5, 0, 1, 0}, sink);
        const bool boxShown = sink.boxes.size() == 1 && sink.boxes[0].caption == "WRITE FILE";
        _exit(!ok && boxShown ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadFile(path_), kDefaultContent);
    EXPECT_EQ(dir_.Entries(), 1u);
}
#endif

#ifdef _WIN32
TEST_F(SettingsFileTest, ReadOnlyFileIsLeftAlone) {
    namespace fs = std::filesystem;
    WriteFile(path_, kDefaultContent);
    fs::permissions(path_, fs::perms::all, fs::perm_options::remove);
    EXPECT_FALSE(WriteSettingsFile(path_, PortSettings{5, 0, 1, 0}, sink_));
    EXPECT_EQ(sink_.boxes.size(), 1u);
    EXPECT_EQ(ReadFile(path_), kDefaultContent);
    EXPECT_EQ(dir_.Entries(), 1u);
    fs::permissions(path_, fs::perms::owner_write, fs::perm_options::add);
}

// A folder that takes no new file, as Program Files for a 64-bit program
// (here a folder holds the temporary's name): a writable file is rewritten in
// place.
TEST_F(SettingsFileTest, FileWhoseFolderTakesNoTemporaryIsRewrittenInPlace) {
    WriteFile(path_, kDefaultContent);
    std::filesystem::create_directory(path_ + ".tmp." + std::to_string(GetCurrentProcessId()));
    ASSERT_TRUE(WriteSettingsFile(path_, PortSettings{5, 0, 1, 0}, sink_));
    EXPECT_EQ(ReadFile(path_), FormatSettingsFile(PortSettings{5, 0, 1, 0}));
    EXPECT_EQ(dir_.Entries(), 2u);
}

// Another program holds the file for a moment without sharing its deletion,
// as a virus scanner does: the replace waits for it.
TEST_F(SettingsFileTest, ReplaceWaitsForAHandleHeldForAMoment) {
    WriteFile(path_, kDefaultContent);
    const HANDLE held = CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    std::thread scanner([held] {
        Sleep(120);
        CloseHandle(held);
    });
    EXPECT_TRUE(WriteSettingsFile(path_, PortSettings{5, 0, 1, 0}, sink_));
    scanner.join();
    EXPECT_EQ(ReadFile(path_), FormatSettingsFile(PortSettings{5, 0, 1, 0}));
    EXPECT_EQ(dir_.Entries(), 1u);
}

// The temporary of a writer that was killed goes; one of a writer that still
// runs stays.
TEST_F(SettingsFileTest, TemporariesOfEndedWritersAreRemoved) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION writers[2] = {};  // suspended copies: one ended, one running
    std::string temporaries[2];
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(CreateProcessA(self, nullptr, nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                                   nullptr, nullptr, &startup, &writers[i]));
        CloseHandle(writers[i].hThread);
        temporaries[i] = path_ + ".tmp." + std::to_string(writers[i].dwProcessId);
        WriteFile(temporaries[i], "half");
    }
    TerminateProcess(writers[0].hProcess, 1);
    WaitForSingleObject(writers[0].hProcess, INFINITE);
    CloseHandle(writers[0].hProcess);

    EXPECT_TRUE(WriteSettingsFile(path_, PortSettings{}, sink_));
    EXPECT_FALSE(std::filesystem::exists(temporaries[0]));
    EXPECT_TRUE(std::filesystem::exists(temporaries[1]));
    TerminateProcess(writers[1].hProcess, 1);
    CloseHandle(writers[1].hProcess);
}
#endif

TEST_F(SettingsFileTest, RewriteReplacesTheOldContentWhole) {
    WriteFile(path_, kDefaultContent + std::string(500, 'q'));
    ASSERT_TRUE(WriteSettingsFile(path_, PortSettings{5, 2, 0, 1}, sink_));
    EXPECT_EQ(ReadFile(path_),
              "*** BILL VALIDATOR ***\r\nBORDRATE:CBR_9600\r\nCOMPORT:COM6\r\n"
              "STOPBIT:ONESTOPBIT\r\nPARITYBIT:EVENPARITY\r\n");
}

}  // namespace
}  // namespace zul
