// The claim of a Linux serial port (serial/TermiosClaim.h) against the model
// of the drivers and the files around them (mock/FakeDriver.h): other
// holders, lock files of every kind, and the claim given back however the
// device closes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "mock/FakeDriver.h"
#include "serial/SerialPort.h"
#include "serial/TermiosClaim.h"
#include "serial/TermiosDevice.h"

namespace zul {
namespace {

using test::FakeDriver;

class PortClaimTest : public ::testing::Test {
protected:
    // Opens path in the model and claims it: the claim's answer.
    uint32_t Take(const std::string& path) {
        fd_ = driver_.Open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK, 0);
        EXPECT_EQ(fd_, FakeDriver::kDeviceFd);
        return claim_.Take(fd_, path, line_);
    }
    void Release() {
        claim_.Release(fd_);
        driver_.Close(fd_);
    }

    FakeDriver driver_;
    TermiosClaim claim_{driver_};
    PortClaim::Line line_;
    int fd_ = -1;
};

TEST_F(PortClaimTest, APortHeldByAnotherProgramIsInUse) {
    driver_.links["/dev/serial/by-id/usb-adapter"] = "/dev/ttyUSB0";
    driver_.holders[777] = {"/dev/null", "/dev/serial/by-id/usb-adapter"};  // a cat on it
    EXPECT_EQ(Take("/dev/ttyUSB0"), SerialPort::kErrorInUse);
    Release();
    driver_.holders.clear();

    // Thousands of processes on a slow /proc: the scan gives up in time.
    for (pid_t pid = 1000; pid < 6000; ++pid) driver_.holders[pid] = {"/dev/null", "/dev/tty1"};
    driver_.procLinkNs = FakeDriver::kMs / 10;
    EXPECT_EQ(Take("/dev/ttyUSB0"), SerialPort::kOk);
    EXPECT_LE(driver_.now, TermiosClaim::kHolderScanNs + FakeDriver::kMs);
    Release();
    driver_.holders.clear();

    driver_.living.insert(778);
    driver_.files["/var/lock/LCK..ttyUSB0"] = "       778\n";  // a terminal program's lock
    EXPECT_EQ(Take("/dev/ttyUSB0"), SerialPort::kErrorInUse);
    EXPECT_EQ(claim_.lockFile(), "");
    Release();
    EXPECT_EQ(driver_.files["/var/lock/LCK..ttyUSB0"], "       778\n");  // theirs stays
}

// A stale lock that cannot be removed (root's, left in the sticky /run/lock
// by a crashed terminal program run through sudo), or a lock that is a
// symbolic link, does not hold the port: it opens, without a lock of ours.
TEST_F(PortClaimTest, AStaleLockThatStaysDoesNotHoldThePort) {
    driver_.files["/run/lock/LCK..ttyUSB0"] = "       999\n";
    driver_.fileOwners["/run/lock/LCK..ttyUSB0"] = 0;
    EXPECT_EQ(Take("/dev/ttyUSB0"), SerialPort::kOk);
    EXPECT_EQ(claim_.lockFile(), "");
    EXPECT_EQ(driver_.files["/run/lock/LCK..ttyUSB0"], "       999\n");
    Release();
    EXPECT_EQ(driver_.files.count("/run/lock/LCK..ttyUSB0"), 1u);

    driver_.files.clear();
    driver_.files["/run/lock/LCK..ttyUSB0"] = "";
    driver_.symlinkFiles.insert("/run/lock/LCK..ttyUSB0");
    driver_.fileOwners["/run/lock/LCK..ttyUSB0"] = 1001;
    EXPECT_EQ(Take("/dev/ttyUSB0"), SerialPort::kOk);
    EXPECT_EQ(driver_.files.count("/run/lock/LCK..ttyUSB0"), 1u);
    Release();
}

TEST_F(PortClaimTest, AStaleLockGoesAndOursIsHeldUntilReleased) {
    driver_.links["/dev/serial/by-id/usb-adapter"] = "/dev/ttyUSB0";
    driver_.files["/run/lock/LCK..ttyUSB0"] = "       999\n";  // its process is gone
    EXPECT_EQ(Take("/dev/serial/by-id/usb-adapter"), SerialPort::kOk);
    EXPECT_FALSE(line_.pseudoTerminal);
    EXPECT_EQ(line_.delivery.ms, 16u);  // a USB adapter, until it grants low latency
    EXPECT_EQ(claim_.lockFile(), "/run/lock/LCK..ttyUSB0");
    EXPECT_EQ(driver_.files["/run/lock/LCK..ttyUSB0"], "      4242\n");
    Release();
    EXPECT_EQ(driver_.files.count("/run/lock/LCK..ttyUSB0"), 0u);
    EXPECT_EQ(claim_.lockFile(), "");
}

// A claim of the test's own behind the device: it is taken as the port
// opens and given back once however the device closes.
class CountingClaim final : public PortClaim {
public:
    uint32_t Take(int, const std::string&, Line& line) override {
        ++taken;
        line = Line{};
        return answer;
    }
    void Release(int) override { ++released; }
    uint32_t answer = SerialPort::kOk;
    int taken = 0, released = 0;
};

TEST(PortClaimOfTheDevice, GivenBackOnCloseOnAFailedClaimAndOnAHangUp) {
    setenv("ZUL10_COM1", "/dev/ttyUSB0", 1);
    FakeDriver driver;
    CountingClaim claim;
    TermiosDevice device(driver, claim);
    ASSERT_EQ(device.Open("COM1"), SerialPort::kOk);
    device.Close();
    EXPECT_EQ(claim.released, 1);
    device.Close();  // nothing more to give back
    EXPECT_EQ(claim.released, 1);

    claim.answer = SerialPort::kErrorInUse;
    EXPECT_EQ(device.Open("COM1"), SerialPort::kErrorInUse);
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(claim.released, 2);

    claim.answer = SerialPort::kOk;
    ASSERT_EQ(device.Open("COM1"), SerialPort::kOk);
    driver.HangUp();
    const uint8_t command = 0xB6;
    EXPECT_FALSE(device.Send({&command, 1}, 100));
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(claim.released, 3);
    EXPECT_EQ(claim.taken, 3);
    unsetenv("ZUL10_COM1");
}

}  // namespace
}  // namespace zul
