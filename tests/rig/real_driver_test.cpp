// The line layer against the kernel's own serial drivers. scripts/test-drivers.sh
// boots a distribution kernel in a virtual machine and runs this program there:
//   /dev/ttyS1    the 8250 driver on an emulated 16550A (COM2),
//   /dev/ttyUSB0  the ftdi_sio driver on an emulated FTDI adapter (COM1 via
//                 ZUL10_COM1),
//   /dev/ttyS2    an 8250 node with no UART behind it (COM3),
// each real port joined to the simulator tool's healthy unit on the host.
// The emulated UARTs neither pace bytes at the baud rate nor hold them for a
// latency timer: what is timed here is the program's own waits, and the
// drivers' timing stays with the fakes. What these cases prove is what the
// drivers answer: their port types, their errors, their hang-ups.
//
// A line "@@rig WHAT@@" on standard output (the guest console) asks the host
// to unplug or plug the adapter; the host answers by closing or reopening the
// adapter's socket.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "adjust/AdjustmentData.h"
#include "adjust/ItemContext.h"
#include "adjust/ResultArea.h"
#include "app/Wizard.h"
#include "mock/Environment.h"
#include "mock/FakeWizardView.h"
#include "mock/GoodRunScreens.h"
#include "mock/HoldingChild.h"
#include "mock/RecordingMessageSink.h"
#include "mock/TemporaryDirectory.h"
#include "serial/Clock.h"
#include "serial/CommandExchange.h"
#include "serial/PortSession.h"
#include "serial/TermiosPort.h"

namespace zul {
namespace test {
void PrintTo(const RecordingMessageSink::Box& box, std::ostream* out) {
    *out << box.caption << ": " << box.text;
}
}  // namespace test
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::Lt;
using Clock = std::chrono::steady_clock;

constexpr const char* kUart = "/dev/ttyS1";
constexpr const char* kAdapter = "/dev/ttyUSB0";
constexpr const char* kNoUart = "/dev/ttyS2";
// The adapter's device in sysfs: the first port of the root hub.
constexpr const char* kAdapterInSysfs = "/sys/bus/usb/devices/1-1";

// The port dialog's selections: COM2 (ttyS1), COM1 (the adapter), COM3
// (ttyS2), each at 9600 baud, even parity, one stop bit.
constexpr PortSettings kUartPort{.port = 1};
constexpr PortSettings kAdapterPort{.port = 0};
constexpr PortSettings kNoUartPort{.port = 2};

const test::RecordingMessageSink::Box kMissing{kPortErrorCaption, PortSession::PortErrorText(2)};
const test::RecordingMessageSink::Box kInUse{kPortErrorCaption, PortSession::PortErrorText(5)};

void AskHost(const char* what) {
    std::printf("@@rig %s@@\n", what);
    std::fflush(stdout);
}

void Note(const std::string& text) {
    std::printf("rig: %s\n", text.c_str());
    std::fflush(stdout);
}

bool Exists(const char* path) {
    struct stat st {};
    return stat(path, &st) == 0;
}

// Waits up to ms for done, looking every 20 ms.
bool WaitFor(const std::function<bool()>& done, int ms) {
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (Clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// The ttyUSB nodes there are now.
std::vector<std::string> AdapterNodes() {
    std::vector<std::string> nodes;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/dev", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("ttyUSB", 0) == 0) nodes.push_back(entry.path().string());
    }
    return nodes;
}

int64_t MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// What the driver answers TIOCGSERIAL with, on a descriptor of its own.
struct DriverAnswer {
    bool answered = false;
    serial_struct info{};
};
DriverAnswer AskDriver(const char* path) {
    DriverAnswer answer;
    const int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return answer;
    answer.answered = ioctl(fd, TIOCGSERIAL, &answer.info) == 0;
    close(fd);
    return answer;
}

// The program as the operator has it, without widgets: the port session the
// port settings dialog holds, the exchange, the items and the wizard with a
// window that records what it is told, the real clock.
struct Bench {
    Bench() { ShowIdleScreen(result); }

    // The dialog's OK with chosen: true when the port opened.
    bool Ok(const PortSettings& chosen) {
        session.Ok(chosen);
        return session.portOpen();
    }

    // One click of Start/Next, timed.
    int64_t Click() {
        const auto start = Clock::now();
        wizard.StartClick();
        return MsSince(start);
    }

    // Clicks through every screen of a good run, one live-display poll at the
    // mag step, and expects each screen.
    void ExpectCompleteRun() {
        for (const test::ScreenAfter& s : test::kGoodRunScreens) {
            ASSERT_EQ(wizard.AdjStep(), s.step);
            if (s.step == 9) {
                ASSERT_TRUE(view.timerActive);
                wizard.TimerTick();
                EXPECT_EQ(view.mag.peakText, " 58");
            }
            Click();
            EXPECT_THAT(result.Lines(), ElementsAreArray(s.lines)) << "click at " << s.step;
        }
        EXPECT_EQ(wizard.AdjStep(), 0);
    }

    test::TemporaryDirectory dir;
    TermiosPort port;
    test::RecordingMessageSink boxes;
    PortSession session{port, boxes, dir.File(kSettingsFileName)};
    AdjustmentData data;
    CommandExchange link{port, data.reply};
    MemoryResultArea result;
    SystemClock clock;
    ItemContext ctx{link, data, result, clock};
    test::FakeWizardView view;
    Wizard wizard{view, ctx};
};

// The kernel of scripts/test-drivers.sh is started with zul_rig=1.
bool BootedByTheRig() {
    std::FILE* cmdline = std::fopen("/proc/cmdline", "r");
    if (cmdline == nullptr) return false;
    std::array<char, 1024> text{};
    const size_t n = std::fread(text.data(), 1, text.size() - 1, cmdline);
    std::fclose(cmdline);
    return std::string_view(text.data(), n).find("zul_rig=1") != std::string_view::npos;
}

class RealDrivers : public ::testing::Test {
protected:
    void SetUp() override {
        // Never on a development machine: its ttyS1 and ttyS2 are real (the
        // first is often its console). Only the rig's guest has both the
        // variable its init sets and the mark on its kernel's command line.
        if (std::getenv("ZUL_RIG_GUEST") == nullptr || !BootedByTheRig()) {
            GTEST_SKIP() << "runs only in the virtual machine of scripts/test-drivers.sh";
        }
        test::SetEnvironment("ZUL10_COM1", kAdapter);
    }
    void TearDown() override { test::UnsetEnvironment("ZUL10_COM1"); }

    static void OpenAndRunComplete(const PortSettings& port, const std::string& driver) {
        Bench b;
        ASSERT_TRUE(b.Ok(port)) << (b.boxes.boxes.empty() ? "" : b.boxes.boxes[0].text);
        const auto start = Clock::now();
        ASSERT_NO_FATAL_FAILURE(b.ExpectCompleteRun());
        Note(driver + " run " + std::to_string(MsSince(start)) + " ms");
        EXPECT_TRUE(b.boxes.boxes.empty());
    }
};

TEST_F(RealDrivers, UartOpensAtNineSixHundredEvenAndCarriesACompleteRun) {
    // The host reads the line settings off the emulated UART.
    ASSERT_NO_FATAL_FAILURE(OpenAndRunComplete(kUartPort, "8250"));
}

TEST_F(RealDrivers, AdapterAnswersTypeUnknownYetOpensAndCarriesACompleteRun) {
    // The usb-serial core answers TIOCGSERIAL for every driver and ftdi_sio
    // sets no type: a present adapter looks like a port without a UART.
    const DriverAnswer answer = AskDriver(kAdapter);
    ASSERT_TRUE(answer.answered);
    EXPECT_EQ(answer.info.type, PORT_UNKNOWN);

    ASSERT_NO_FATAL_FAILURE(OpenAndRunComplete(kAdapterPort, "ftdi_sio"));
}

TEST_F(RealDrivers, AdapterIsLeftWithTheLatencyItHad) {
    // ftdi_sio keeps the low-latency flag (a 1 ms latency timer) for every
    // later user of the adapter until someone clears it.
    const DriverAnswer before = AskDriver(kAdapter);
    ASSERT_TRUE(before.answered);
    {
        Bench b;
        ASSERT_TRUE(b.Ok(kAdapterPort));
        EXPECT_EQ(AskDriver(kAdapter).info.flags & ASYNC_LOW_LATENCY, ASYNC_LOW_LATENCY);
    }
    EXPECT_EQ(AskDriver(kAdapter).info.flags & ASYNC_LOW_LATENCY,
              before.info.flags & ASYNC_LOW_LATENCY);
}

TEST_F(RealDrivers, PortWithoutUartIsMissing) {
    // What the 8250 driver does with a legacy port that has no UART: the
    // node opens, reports no port type, and refuses settings and bytes.
    const int fd = open(kNoUart, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0) << std::strerror(errno);
    serial_struct info{};
    ASSERT_EQ(ioctl(fd, TIOCGSERIAL, &info), 0);
    EXPECT_EQ(info.type, PORT_UNKNOWN);
    // serial_core fails every request that reaches its ioctl handler with
    // EIO once the port's start-up found no UART (uart_ioctl in
    // drivers/tty/serial/serial_core.c), the terminal settings too; only
    // TIOCGSERIAL is answered before it.
    termios tio{};
    errno = 0;
    EXPECT_EQ(tcgetattr(fd, &tio), -1);
    EXPECT_EQ(errno, EIO);
    cfmakeraw(&tio);
    errno = 0;
    EXPECT_EQ(tcsetattr(fd, TCSANOW, &tio), -1);
    EXPECT_EQ(errno, EIO);
    errno = 0;
    EXPECT_EQ(write(fd, "\x06", 1), -1);
    EXPECT_EQ(errno, EIO);
    close(fd);

    Bench b;
    EXPECT_FALSE(b.Ok(kNoUartPort));
    EXPECT_THAT(b.boxes.boxes, ElementsAre(kMissing));
    EXPECT_FALSE(b.port.IsOpen());
    // The settings file never names a port that is not there.
    EXPECT_FALSE(Exists(b.dir.File(kSettingsFileName).c_str()));
}

TEST_F(RealDrivers, LockFileOfALivingProcessHoldsTheAdapter) {
    const std::string lock = "/run/lock/LCK..ttyUSB0";
    // The UUCP form: the process id in ten columns. Process 1 lives.
    test::WriteFile(lock, "         1\n");
    {
        Bench b;
        EXPECT_FALSE(b.Ok(kAdapterPort));
        EXPECT_THAT(b.boxes.boxes, ElementsAre(kInUse));
    }
    EXPECT_EQ(test::ReadFile(lock), "         1\n");

    // A process that has gone: its lock is stale, and ours takes its place
    // while the port is open.
    const pid_t gone = fork();
    if (gone == 0) _exit(0);
    ASSERT_GT(gone, 0);
    waitpid(gone, nullptr, 0);
    char text[16];
    std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(gone));
    test::WriteFile(lock, text);
    {
        Bench b;
        EXPECT_TRUE(b.Ok(kAdapterPort));
        EXPECT_TRUE(b.boxes.boxes.empty());
        std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(getpid()));
        EXPECT_EQ(test::ReadFile(lock), text);
    }
    EXPECT_FALSE(Exists(lock.c_str()));
}

TEST_F(RealDrivers, SecondOpenerHoldsEachPort) {
    for (const auto& [path, chosen] :
         {std::pair{kUart, kUartPort}, std::pair{kAdapter, kAdapterPort}}) {
        SCOPED_TRACE(path);
        {
            // Another program with the port open, as a terminal program or
            // a `cat` has it: no lock file, no flock.
            test::HoldingChild other(
                [path = path] { return open(path, O_RDWR | O_NOCTTY | O_NONBLOCK) >= 0; });
            ASSERT_TRUE(other.holding());
            Bench b;
            EXPECT_FALSE(b.Ok(chosen));
            EXPECT_THAT(b.boxes.boxes, ElementsAre(kInUse));
        }
        // Ours open: a second copy of the program is kept out.
        Bench first;
        ASSERT_TRUE(first.Ok(chosen));
        Bench second;
        EXPECT_FALSE(second.Ok(chosen));
        EXPECT_THAT(second.boxes.boxes, ElementsAre(kInUse));
        // And the port is free again once ours is closed.
        first.session.ReloadSettings();
        EXPECT_TRUE(second.Ok(chosen));
    }
}

// The adapter pulled out during a run, and put back. The run ends with
// "Communication error" at once; the descriptor the program still holds is
// dead, and the driver gives the adapter a new name while it is held.
TEST_F(RealDrivers, AdapterUnpluggedMidRunFailsTheRunAndOpensAgainAfterReplug) {
    Bench b;
    ASSERT_TRUE(b.Ok(kAdapterPort));
    // A descriptor of our own shows what the driver does once the adapter
    // is gone.
    const int watcher = open(kAdapter, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(watcher, 0);

    b.Click();  // item 1
    b.Click();  // "Insert the paper."
    ASSERT_EQ(b.wizard.AdjStep(), 2);
    // Pulled 300 ms into the lever check, in the fixed wait after its first
    // command.
    AskHost("unplug 300");
    int64_t longestClick = 0;
    for (int i = 0; i < 12 && b.wizard.AdjStep() > 0; ++i) {
        longestClick = std::max(longestClick, b.Click());
    }
    EXPECT_EQ(b.wizard.AdjStep(), -1);
    EXPECT_THAT(b.result.Lines(), Contains("Communication error"));
    // The exchanges fail at once instead of waiting out their time-outs.
    EXPECT_THAT(longestClick, Lt(kItemWaitMs + 2000));
    Note("failing click " + std::to_string(longestClick) + " ms");

    ASSERT_TRUE(WaitFor([] { return !Exists(kAdapterInSysfs); }, 5000));
    EXPECT_FALSE(Exists(kAdapter));
    pollfd pfd{watcher, POLLIN | POLLOUT, 0};
    ASSERT_EQ(poll(&pfd, 1, 0), 1);
    EXPECT_NE(pfd.revents & POLLHUP, 0);
    errno = 0;
    EXPECT_EQ(write(watcher, "\x05", 1), -1);
    EXPECT_EQ(errno, EIO);
    close(watcher);

    b.wizard.ExitClick();  // Cancel
    EXPECT_EQ(b.wizard.AdjStep(), 0);

    // The program let go of the dead descriptor when the line hung up, so
    // the adapter comes back under its old name, and OK opens it at once.
    AskHost("plug");
    ASSERT_TRUE(WaitFor([] { return !AdapterNodes().empty(); }, 10000));
    const std::vector<std::string> back = AdapterNodes();
    Note("adapter back as " + back[0]);
    EXPECT_THAT(back, ElementsAre(kAdapter));
    ASSERT_TRUE(WaitFor([] { return Exists(kAdapter); }, 10000));
    EXPECT_TRUE(b.Ok(kAdapterPort));
    EXPECT_THAT(b.boxes.boxes, ElementsAre());
    b.Click();  // item 1 over the adapter again
    EXPECT_EQ(b.wizard.AdjStep(), 1);
    EXPECT_THAT(b.result.Lines(), ElementsAreArray(test::kGoodRunScreens[0].lines));
}

}  // namespace
}  // namespace zul
