// The settings file under stress: places it cannot be written to, a
// directory in its place, a huge file, a file changed between reads, and a
// writer killed at random moments.

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "mock/CaseNames.h"
#include "mock/FakePort.h"
#include "mock/RecordingMessageSink.h"
#include "mock/TemporaryDirectory.h"
#include "mock/Unprivileged.h"
#include "serial/PortSession.h"
#include "serial/SettingsFile.h"

namespace zul {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::steady_clock;
using test::FakePort;
using test::ReadFile;
using test::RecordingMessageSink;
using test::WriteFile;

const PortSettings kDefaults{0, 2, 0, 1};
// Neither is the defaults, which an empty file reads as; kNew is 3 bytes
// longer, and cut by 3 it loses its odd parity.
const PortSettings kOld{0, 0, 0, 0};
const PortSettings kNew{6, 3, 1, 2};

int64_t ElapsedMs(steady_clock::time_point start) {
    return std::chrono::duration_cast<milliseconds>(steady_clock::now() - start).count();
}

class SettingsStressTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.ok()); }

    static PortSettings Read(const std::string& path) {
        PortSettings selection{-1, -1, -1, -1};
        LineSettings line;
        ReadSettingsFile(path, selection, line);
        return selection;
    }
    // Starts a child that rewrites the file over and over, alternating the
    // two selections, until it is killed; as an operator of the bench's
    // group where asOperator.
    pid_t StartEndlessWriter(bool asOperator = false) const {
        const pid_t child = fork();
        if (child == 0) {
            if (asOperator && !test::DropToUnprivilegedUser(test::kBenchGid)) _exit(2);
            RecordingMessageSink childSink;
            for (;;) {
                WriteSettingsFile(path_, kNew, childSink);
                WriteSettingsFile(path_, kOld, childSink);
            }
        }
        return child;
    }

    test::TemporaryDirectory dir_;
    std::string path_ = dir_.File(kSettingsFileName);
};

// ---- Places the file cannot be written to ----------------------------------

struct Unwritable {
    const char* name;
    // Prepares the scratch directory and returns the settings path to use.
    std::function<std::string(const fs::path& dir)> make;
};
void PrintTo(const Unwritable& c, std::ostream* os) {
    *os << c.name;
}

class UnwritableTest : public SettingsStressTest,
                       public ::testing::WithParamInterface<Unwritable> {};

// Root may write anywhere a directory exists, so these are places where no
// file can be made at all.
INSTANTIATE_TEST_SUITE_P(
    Places, UnwritableTest,
    ::testing::Values(
        Unwritable{"UnderARegularFile",
                   [](const fs::path& dir) {
                       std::ofstream(dir / "plain") << "x";
                       return (dir / "plain" / kSettingsFileName).string();
                   }},
        Unwritable{"DirectoryMissing",
                   [](const fs::path& dir) { return (dir / "gone" / kSettingsFileName).string(); }},
        Unwritable{"FileIsADirectory",
                   [](const fs::path& dir) {
                       fs::create_directory(dir / kSettingsFileName);
                       return (dir / kSettingsFileName).string();
                   }},
        Unwritable{"FileIsAFullDirectory",
                   [](const fs::path& dir) {
                       fs::create_directories(dir / kSettingsFileName / "inside");
                       return (dir / kSettingsFileName).string();
                   }},
        Unwritable{"InProc",
                   [](const fs::path&) { return std::string("/proc/zul10-no-such/x.ini"); }},
        Unwritable{"LinkLoop",
                   [](const fs::path& dir) {
                       fs::create_symlink("loop.ini", dir / kSettingsFileName);
                       fs::create_symlink(kSettingsFileName, dir / "loop.ini");
                       return (dir / kSettingsFileName).string();
                   }}),
    zul::test::FieldName());

TEST_P(UnwritableTest, WriteShowsTheBoxAndLeavesNoLitter) {
    const std::string path = GetParam().make(dir_.path());
    const size_t before = dir_.Entries();
    RecordingMessageSink sink;
    EXPECT_FALSE(WriteSettingsFile(path, kNew, sink));
    ASSERT_EQ(sink.boxes.size(), 1u);
    EXPECT_EQ(sink.boxes[0].caption, "WRITE FILE");
    EXPECT_EQ(sink.boxes[0].text, "File cannot be opened");
    EXPECT_EQ(dir_.Entries(), before);
    // Reading the same place gives the defaults, no crash, no message.
    EXPECT_EQ(Read(path), kDefaults);
}

TEST_P(UnwritableTest, PortOpensAnyway) {
    const std::string path = GetParam().make(dir_.path());
    FakePort port;
    RecordingMessageSink sink;
    PortSession session(port, sink, path);
    session.FormCreate();
    EXPECT_TRUE(session.portOpen());
    ASSERT_EQ(sink.boxes.size(), 1u);
    EXPECT_EQ(sink.boxes[0].caption, "WRITE FILE");
    EXPECT_EQ(sink.boxes[0].text, "File cannot be opened");
    EXPECT_EQ(port.calls, (std::vector<std::string>{"open COM1", "configure"}));

    // OK to another port: opened as well, one more box.
    PortSettings chosen = session.selection();
    chosen.port = 3;
    session.Ok(chosen);
    EXPECT_TRUE(session.portOpen());
    EXPECT_EQ(port.openedNames.back(), "COM4");
    EXPECT_EQ(sink.boxes.size(), 2u);
}

// A pipe in the file's place: neither the read nor the write waits for its
// other end, which never comes (the child is ended after 5 s).
TEST_F(SettingsStressTest, PipeInItsPlaceIsNeverWaitedOn) {
    ASSERT_EQ(mkfifo(path_.c_str(), 0666), 0);
    EXPECT_TRUE(test::InChild(
        [&] {
            RecordingMessageSink sink;
            return Read(path_) == kDefaults && !WriteSettingsFile(path_, kNew, sink);
        },
        5));
}

// ---- A huge file -----------------------------------------------------------

constexpr size_t kHugeBytes = 10 * 1024 * 1024;

// Writes keys and junk lines in pieces, never holding the file in memory.
void WriteHuge(const std::string& path, const std::string& head, const std::string& tail) {
    std::ofstream out(path, std::ios::binary);
    out << head;
    const std::string line = std::string(100, 'z') + "\r\n";
    std::string block;
    while (block.size() < 64 * 1024) block += line;
    size_t written = head.size();
    while (written + block.size() + tail.size() <= kHugeBytes) {
        out << block;
        written += block.size();
    }
    out << tail;
}

long MaxRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

const std::string kKeys =
    "BORDRATE:CBR_19200\r\nCOMPORT:COM5\r\nSTOPBIT:TWOSTOPBITS\r\nPARITYBIT:ODDPARITY\r\n";

TEST_F(SettingsStressTest, HugeFileWithTheKeysFirstReadsFastAndSmall) {
    WriteHuge(path_, kKeys, "");
    const long rssBefore = MaxRssKb();
    const auto start = steady_clock::now();
    EXPECT_EQ(Read(path_), (PortSettings{4, 3, 1, 2}));
    EXPECT_LT(ElapsedMs(start), 200);
    EXPECT_LT(MaxRssKb() - rssBefore, 2048);
}

TEST_F(SettingsStressTest, HugeFileWithTheKeysAtTheEndGivesTheDefaultsInBoundedTime) {
    WriteHuge(path_, "*** BILL VALIDATOR ***\r\n", kKeys);
    ASSERT_GE(fs::file_size(path_), kHugeBytes - 128 * 1024);
    const long rssBefore = MaxRssKb();
    const auto start = steady_clock::now();
    EXPECT_EQ(Read(path_), kDefaults);
    EXPECT_LT(ElapsedMs(start), 2000);
    EXPECT_LT(MaxRssKb() - rssBefore, 2048);
}

// One key early, the rest after the read bound: the early one counts.
TEST_F(SettingsStressTest, HugeFileKeysSplitAcrossTheBound) {
    WriteHuge(path_, "BORDRATE:CBR_1200\r\n",
              "COMPORT:COM3\r\nSTOPBIT:TWOSTOPBITS\r\nPARITYBIT:NOPARITY\r\n");
    EXPECT_EQ(Read(path_), (PortSettings{0, 0, 0, 1}));
}

// ---- A file changed between reads -------------------------------------------

TEST_F(SettingsStressTest, EachReadReflectsTheFileAsItIsThen) {
    RecordingMessageSink sink;
    ASSERT_TRUE(WriteSettingsFile(path_, kNew, sink));
    EXPECT_EQ(Read(path_), kNew);

    // Rewritten in place by someone else, shorter.
    WriteFile(path_, "BORDRATE:CBR_2400\r\nCOMPORT:COM2\r\n");
    EXPECT_EQ(Read(path_), (PortSettings{1, 1, 0, 1}));

    // Removed.
    fs::remove(path_);
    EXPECT_EQ(Read(path_), kDefaults);

    // Written again by the program.
    ASSERT_TRUE(WriteSettingsFile(path_, kOld, sink));
    EXPECT_EQ(Read(path_), kOld);
    EXPECT_TRUE(sink.boxes.empty());

    // Changed under a session between start-up and Cancel.
    FakePort port;
    PortSession session(port, sink, path_);
    session.FormCreate();
    EXPECT_EQ(session.selection(), kOld);
    WriteFile(path_, FormatSettingsFile(kNew));
    session.Cancel();
    EXPECT_EQ(session.selection(), kNew);
}

// ---- A writer killed at random moments --------------------------------------

// A child rewrites the file over and over, alternating two selections, and
// is killed at a random moment; the file must then hold one of the two whole
// (a rewrite in place may leave blanks after it). First through a fresh file
// renamed over it; then, as root, in place: by an operator of the bench's
// group (nobody), who cannot give a fresh file the owner of the shared
// root:bench file, which keeps its owner, group and mode.
TEST_F(SettingsStressTest, KilledWriterNeverLeavesAPartialFile) {
    const auto holds = [](const std::string& content, const PortSettings& selection) {
        const std::string whole = FormatSettingsFile(selection);
        return content.substr(0, whole.size()) == whole &&
               content.find_first_not_of(' ', whole.size()) == std::string::npos;
    };
    RecordingMessageSink sink;
    std::mt19937 random(20240601);
    std::uniform_int_distribution<int> delayUs(0, 3000);
    constexpr int kRounds = 150;
    for (const bool inPlace : {false, true}) {
        ASSERT_TRUE(WriteSettingsFile(path_, kOld, sink));
        if (inPlace && geteuid() != 0) break;
        if (inPlace) {
            ASSERT_EQ(chown(path_.c_str(), 0, test::kBenchGid), 0);
            ASSERT_EQ(chmod(path_.c_str(), 0664), 0);
            ASSERT_EQ(chmod(dir_.path().c_str(), 0777), 0);
        }
        int sawOld = 0;
        int sawNew = 0;
        for (int round = 0; round < kRounds; ++round) {
            const pid_t child = StartEndlessWriter(inPlace);
            ASSERT_GE(child, 0);
            std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
            kill(child, SIGKILL);
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            const std::string content = ReadFile(path_);
            ASSERT_TRUE(holds(content, kOld) || holds(content, kNew))
                << "round " << round << ": " << content.size() << " bytes";
            (holds(content, kOld) ? sawOld : sawNew)++;
            EXPECT_TRUE(Read(path_) == kOld || Read(path_) == kNew);
        }
        struct stat st {};
        ASSERT_EQ(stat(path_.c_str(), &st), 0);
        EXPECT_TRUE(!inPlace || (st.st_uid == 0 && st.st_gid == test::kBenchGid &&
                                 (st.st_mode & 07777) == 0664));
        const size_t leftover = dir_.Entries() - 1;
        // The temporaries of killed writers go with the next write that completes.
        ASSERT_TRUE(WriteSettingsFile(path_, kOld, sink));
        EXPECT_EQ(dir_.Entries(), 1u);
        RecordProperty(inPlace ? "inPlaceOld" : "old", sawOld);
        RecordProperty(inPlace ? "inPlaceNew" : "new", sawNew);
        std::printf(
            "killed writer%s: %d rounds, old %d, new %d, leftover before the next write %zu\n",
            inPlace ? " in place" : "", kRounds, sawOld, sawNew, leftover);
    }
}

// A temporary whose writer died goes with the next write; one of a writer
// that still runs stays.
TEST_F(SettingsStressTest, NextWriteClearsTheTemporariesOfDeadWritersOnly) {
    const pid_t dead = fork();
    ASSERT_GE(dead, 0);
    if (dead == 0) _exit(0);
    ASSERT_EQ(waitpid(dead, nullptr, 0), dead);
    const std::string deadTemporary = path_ + ".tmp." + std::to_string(dead);
    const std::string liveTemporary = path_ + ".tmp." + std::to_string(getppid());
    WriteFile(deadTemporary, "BORDRATE:CBR_12");
    WriteFile(liveTemporary, "BORDRATE:CBR_24");
    RecordingMessageSink sink;
    ASSERT_TRUE(WriteSettingsFile(path_, kNew, sink));
    EXPECT_FALSE(fs::exists(deadTemporary));
    EXPECT_TRUE(fs::exists(liveTemporary));
    EXPECT_EQ(Read(path_), kNew);
}

// A reader running alongside a writer sees only whole files.
TEST_F(SettingsStressTest, ReaderAlongsideAWriterSeesOnlyWholeFiles) {
    RecordingMessageSink sink;
    ASSERT_TRUE(WriteSettingsFile(path_, kOld, sink));
    const pid_t child = StartEndlessWriter();
    ASSERT_GE(child, 0);
    int reads = 0;
    int bad = 0;
    const auto start = steady_clock::now();
    while (ElapsedMs(start) < 1000) {
        const PortSettings got = Read(path_);
        if (!(got == kOld || got == kNew)) ++bad;
        ++reads;
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_EQ(bad, 0) << "of " << reads << " reads";
    EXPECT_GT(reads, 10);
}

}  // namespace
}  // namespace zul
