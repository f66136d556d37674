#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "serial/PortNames.h"

namespace zul {
namespace {

class PortNamesTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 1; i <= 7; ++i) unsetenv(("ZUL10_COM" + std::to_string(i)).c_str());
    }
    void TearDown() override { SetUp(); }
};

TEST_F(PortNamesTest, ComPortsMapToTheSerialDevices) {
    for (int i = 1; i <= 7; ++i) {
        EXPECT_EQ(DevicePathForPort("COM" + std::to_string(i)),
                  "/dev/ttyS" + std::to_string(i - 1));
    }
}

TEST_F(PortNamesTest, EnvironmentOverridesOnePortWhenNotEmpty) {
    setenv("ZUL10_COM3", "/dev/pts/9", 1);
    setenv("ZUL10_COM4", "", 1);
    EXPECT_EQ(DevicePathForPort("COM3"), "/dev/pts/9");
    EXPECT_EQ(DevicePathForPort("COM4"), "/dev/ttyS3");
    EXPECT_EQ(DevicePathForPort("COM2"), "/dev/ttyS1");
    EXPECT_EQ(PortOverrideVariable("COM3"), "ZUL10_COM3");
}

TEST_F(PortNamesTest, OtherNamesHaveNoDevice) {
    for (const char* name : {"", "COM0", "COM8", "COM12", "com1", " COM1", "COM1 ", "/dev/ttyS0"}) {
        EXPECT_FALSE(DevicePathForPort(name).has_value()) << name;
        EXPECT_FALSE(PortOverrideVariable(name).has_value()) << name;
    }
}

}  // namespace
}  // namespace zul
