// Runs the built program as the operator would start it, under the offscreen
// platform, each time in a fresh working directory with its own lock
// directory.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#ifndef ZUL10_BINARY
#error "ZUL10_BINARY must name the built program"
#endif

namespace {

using namespace std::chrono_literals;

constexpr const char* kSettingsFile = "ZUL1x_comm.ini";

// A pseudo-terminal whose slave stands in for a serial port.
class PseudoTerminal {
public:
    PseudoTerminal() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) {
            if (const char* name = ptsname(master_)) slave_ = name;
        }
    }
    ~PseudoTerminal() {
        if (master_ >= 0) close(master_);
    }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    const std::string& slave() const { return slave_; }

private:
    int master_ = -1;
    std::string slave_;
};

class ProgramTest : public ::testing::Test {
protected:
    ProgramTest() {
        static int argc = 1;
        static char name[] = "program_test";
        static char* argv[] = {name, nullptr};
        static QCoreApplication* const app = new QCoreApplication(argc, argv);
        (void)app;
    }
    ~ProgramTest() override {
        for (QProcess* process : {&first, &second}) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(5000);
            }
        }
    }

    // Starts the program in the working directory with the device of COM1.
    void Start(QProcess& process, const std::string& com1Device) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), lockDir.path());
        env.insert(QStringLiteral("ZUL10_COM1"), QString::fromStdString(com1Device));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(workDir.path());
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral(ZUL10_BINARY), {});
        ASSERT_TRUE(process.waitForStarted(10000));
    }

    std::filesystem::path SettingsFile() const {
        return std::filesystem::path(workDir.path().toStdString()) / kSettingsFile;
    }

    // Waits up to limit for the settings file to appear.
    bool WaitForSettingsFile(std::chrono::milliseconds limit) const {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            if (std::filesystem::exists(SettingsFile())) return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

    QTemporaryDir workDir;
    QTemporaryDir lockDir;
    QProcess first;
    QProcess second;
};

TEST_F(ProgramTest, SecondCopyEndsAtOnceWithExitCodeZero) {
    PseudoTerminal line;
    ASSERT_FALSE(line.slave().empty());
    ASSERT_NO_FATAL_FAILURE(Start(first, line.slave()));
    // The settings file is written when the port opens, after the guard was taken.
    ASSERT_TRUE(WaitForSettingsFile(30s));

    ASSERT_NO_FATAL_FAILURE(Start(second, line.slave()));
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);

    // The running copy is unaffected.
    EXPECT_FALSE(first.waitForFinished(500));
    EXPECT_EQ(first.state(), QProcess::Running);
}

TEST_F(ProgramTest, MissingPortKeepsTheProgramRunningAndStoresNothing) {
    const std::string missing = workDir.path().toStdString() + "/no-such-port";
    ASSERT_NO_FATAL_FAILURE(Start(first, missing));
    // The "RS232C PORT" box waits for the operator; the program stays up.
    EXPECT_FALSE(first.waitForFinished(3000));
    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_FALSE(std::filesystem::exists(SettingsFile()));
}

}  // namespace
