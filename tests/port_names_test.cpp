#include <gtest/gtest.h>

#include <string>

#include "mock/Environment.h"
#include "serial/PortNames.h"

namespace zul {
namespace {

using test::SetEnvironment;

// The device of COMn when nothing overrides it.
std::string DefaultDevice(int n) {
#ifdef _WIN32
    return "\\\\.\\COM" + std::to_string(n);
#else
    return "/dev/ttyS" + std::to_string(n - 1);
#endif
}

class PortNamesTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 1; i <= 7; ++i) test::UnsetEnvironment("ZUL10_COM" + std::to_string(i));
    }
    void TearDown() override { SetUp(); }
};

TEST_F(PortNamesTest, ComPortsMapToTheSerialDevices) {
    for (int i = 1; i <= 7; ++i) {
        EXPECT_EQ(DevicePathForPort("COM" + std::to_string(i)), DefaultDevice(i));
    }
}

TEST_F(PortNamesTest, EnvironmentOverridesOnePortWhenNotEmpty) {
    SetEnvironment("ZUL10_COM3", "/dev/pts/9");
    SetEnvironment("ZUL10_COM4", "");
    EXPECT_EQ(DevicePathForPort("COM3"), "/dev/pts/9");
    EXPECT_EQ(DevicePathForPort("COM4"), DefaultDevice(4));
    EXPECT_EQ(DevicePathForPort("COM2"), DefaultDevice(2));
    EXPECT_EQ(PortOverrideVariable("COM3"), "ZUL10_COM3");
}

#ifdef _WIN32
// Opened as a file name, COM10 and above are not found.
TEST_F(PortNamesTest, BareComNameGetsTheDeviceNamespace) {
    SetEnvironment("ZUL10_COM1", "COM12");
    SetEnvironment("ZUL10_COM2", "com3");
    SetEnvironment("ZUL10_COM3", "COM12a");
    EXPECT_EQ(DevicePathForPort("COM1"), "\\\\.\\COM12");
    EXPECT_EQ(DevicePathForPort("COM2"), "\\\\.\\com3");
    EXPECT_EQ(DevicePathForPort("COM3"), "COM12a");
}
#endif

TEST_F(PortNamesTest, OtherNamesHaveNoDevice) {
    for (const char* name : {"", "COM0", "COM8", "COM12", "com1", " COM1", "COM1 ", "/dev/ttyS0"}) {
        EXPECT_FALSE(DevicePathForPort(name).has_value()) << name;
        EXPECT_FALSE(PortOverrideVariable(name).has_value()) << name;
    }
}

}  // namespace
}  // namespace zul
