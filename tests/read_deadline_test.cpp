#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>

#include "mock/CaseNames.h"
#include "mock/PtyPeer.h"
#include "serial/TermiosPort.h"

namespace zul {
namespace {

int64_t NowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// A silent unit: a pseudo-terminal whose master side never answers.
class ReadDeadlineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(unit_.ok());
        setenv("ZUL10_COM1", unit_.slave().c_str(), 1);
        LineSettings line;
        line.portName = "COM1";
        ASSERT_EQ(port_.OpenDevice("COM1"), SerialPort::kOk);
        ASSERT_EQ(port_.Configure(line), SerialPort::kOk);
    }
    void TearDown() override {
        port_.Close();
        unit_.HangUp();
        unsetenv("ZUL10_COM1");
    }

    // How late (ms) a read of count bytes from the silent unit came back,
    // against 10 ms x count + the constant; negative when early.
    double Lateness(uint32_t count, uint16_t constantMs) {
        port_.SetReadTimeout(constantMs);
        std::array<uint8_t, 32> buffer{};
        const int64_t start = NowNs();
        EXPECT_EQ(port_.ReadPort({buffer.data(), count}), 0u);
        const double elapsedMs = static_cast<double>(NowNs() - start) / 1e6;
        return elapsedMs - (10.0 * count + constantMs);
    }

    test::PtyPeer unit_;
    TermiosPort port_;
};

// The long default constant: one poll for the whole time-out would overrun
// by the kernel's timer slack (0.1 % of 2010 ms, about 2 ms) plus the
// rounding of the time-out up to a whole millisecond. The best of three
// reads keeps a busy machine's scheduling delays out of the figure.
TEST_F(ReadDeadlineTest, DefaultConstantEndsWithinAMillisecondAndNeverEarly) {
    double best = 1e9;
    for (int i = 0; i < 3; ++i) {
        const double late = Lateness(1, kDefaultReadTimeoutMs);
        EXPECT_GE(late, 0.0) << "read " << i << " returned early";
        best = std::min(best, late);
    }
    EXPECT_LT(best, 1.0);
}

// Short and mid-length deadlines at the byte counts the items ask for: never
// early, and the best of a few reads close to the deadline.
class ReadDeadlineLengthTest : public ReadDeadlineTest,
                               public ::testing::WithParamInterface<std::pair<uint32_t, uint16_t>> {
};

TEST_P(ReadDeadlineLengthTest, NeverEarlyAndCloseToTheDeadline) {
    const auto [count, constantMs] = GetParam();
    double best = 1e9;
    for (int i = 0; i < 3; ++i) {
        const double late = Lateness(count, constantMs);
        EXPECT_GE(late, 0.0) << "read " << i << " returned early";
        best = std::min(best, late);
    }
    EXPECT_LT(best, 1.0);
}

INSTANTIATE_TEST_SUITE_P(Lengths, ReadDeadlineLengthTest,
                         ::testing::Values(std::pair<uint32_t, uint16_t>{1, 1},
                                           std::pair<uint32_t, uint16_t>{2, 50},
                                           std::pair<uint32_t, uint16_t>{12, 200},
                                           std::pair<uint32_t, uint16_t>{31, 300}),
                         [](const auto& info) {
                             return std::to_string(info.param.first) + "BytesAnd" +
                                    std::to_string(info.param.second) + "ms";
                         });

}  // namespace
}  // namespace zul
