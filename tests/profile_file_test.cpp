#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "mock/CaseNames.h"
#include "serial/Commands.h"
#include "sim/Presets.h"
#include "sim/ProfileFile.h"
#include "sim/SimUnit.h"

namespace zul::sim {
namespace {

TEST(ProfileFile, SetsReadingsAndIgnoresCommentsAndBlankLines) {
    Profile p;
    const auto error = ApplyProfileText(
        "# a bench profile\n"
        "\n"
        "motor_speed = 80\r\n"
        "  lever_paper_in = 1, 0x90 0x91  \n"
        "white_result[3] = 61\n"
        "black_result = 1 2 3 0x66\n"
        "mag_samples = 30/30 50/51 60/60\n"
        "drop_off_after = 12\n"
        "pad = 3 fill 0x06\n",
        p);
    ASSERT_FALSE(error) << error->line << ": " << error->message;
    EXPECT_EQ(p.motorSpeed, 80);
    EXPECT_EQ(p.leverPaperIn, (std::array<uint8_t, 3>{1, 0x90, 0x91}));
    EXPECT_EQ(p.whiteResult[3], 61);
    EXPECT_EQ(p.whiteResult[4], Profile{}.whiteResult[4]);
    EXPECT_EQ(p.blackResult, (std::array<uint8_t, 4>{1, 2, 3, 0x66}));
    ASSERT_EQ(p.magSamples.size(), 3u);
    EXPECT_EQ(p.magSamples[1].peak, 50);
    EXPECT_EQ(p.magSamples[1].ad, 51);
    EXPECT_EQ(p.dropOffAfter, 12u);
    EXPECT_EQ(p.pad, 3u);
    EXPECT_EQ(p.padByte, 0x06);
}

TEST(ProfileFile, FaultLines) {
    Profile p;
    const auto error = ApplyProfileText(
        "fault 0xB6 = refuse 0x15\n"
        "fault 0xB6 = silent on 2\n"
        "fault 5 = short 3\n"
        "fault 0xA6 = long 2 fill 0x06 on 1\n"
        "fault 0xE0 = late 12000\n"
        "fault 0xA4 = drop-off\n"
        "fault 0xB0 = refuse\n",
        p);
    ASSERT_FALSE(error) << error->line << ": " << error->message;
    ASSERT_EQ(p.faults[0xB6].size(), 2u);
    EXPECT_EQ(p.faults[0xB6][0].kind, Fault::Kind::Refuse);
    EXPECT_EQ(p.faults[0xB6][0].refuseByte, 0x15);
    EXPECT_EQ(p.faults[0xB6][1].kind, Fault::Kind::Silent);
    EXPECT_EQ(p.faults[0xB6][1].onlyNth, 2u);
    EXPECT_EQ(p.faults[0x05][0].kind, Fault::Kind::Short);
    EXPECT_EQ(p.faults[0x05][0].bytes, 3u);
    EXPECT_EQ(p.faults[0xA6][0].kind, Fault::Kind::Long);
    EXPECT_EQ(p.faults[0xA6][0].bytes, 2u);
    EXPECT_EQ(p.faults[0xA6][0].extraByte, ACK);
    EXPECT_EQ(p.faults[0xA6][0].onlyNth, 1u);
    EXPECT_EQ(p.faults[0xE0][0].delayMs, 12000u);
    EXPECT_EQ(p.faults[0xA4][0].kind, Fault::Kind::DropOff);
    EXPECT_EQ(p.faults[0xB0][0].refuseByte, 0x15);
}

struct BadLine {
    const char* name;
    const char* text;
    int line;
};

class ProfileFileErrors : public ::testing::TestWithParam<BadLine> {};

TEST_P(ProfileFileErrors, NameTheLineAndKeepEarlierSettings) {
    Profile p;
    const std::string text = std::string("motor_speed = 99\n") + GetParam().text;
    const auto error = ApplyProfileText(text, p);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->line, GetParam().line);
    EXPECT_FALSE(error->message.empty());
    EXPECT_EQ(p.motorSpeed, 99);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ProfileFileErrors,
    ::testing::Values(BadLine{"NoEqualsSign", "motor_speed 80", 2},
                      BadLine{"ValueOver255", "motor_speed = 256", 2},
                      BadLine{"NegativeValue", "motor_speed = -1", 2},
                      BadLine{"LetterInANumber", "motor_speed = 8O", 2},
                      BadLine{"UnknownKeyAfterAnEmptyLine", "\nmotor_sped = 80", 3},
                      BadLine{"TwoLeverReadings", "lever_paper_in = 1 2", 2},
                      BadLine{"FourLeverReadings", "lever_paper_in = 1 2 3 4", 2},
                      BadLine{"IndexOutOfRange", "white_result[31] = 1", 2},
                      BadLine{"IndexNotANumber", "white_result[x] = 1", 2},
                      BadLine{"MagSampleWithoutAd", "mag_samples = 30", 2},
                      BadLine{"NoMagSamples", "mag_samples = ", 2},
                      BadLine{"MagAdOver255", "mag_samples = 30/300", 2},
                      BadLine{"CommandOver0xFF", "fault 0x1B6 = silent", 2},
                      BadLine{"UnknownFaultKind", "fault 0xB6 = loud", 2},
                      BadLine{"ShortWithoutCount", "fault 0xB6 = short", 2},
                      BadLine{"OnTheZerothSending", "fault 0xB6 = silent on 0", 2},
                      BadLine{"WordAfterTheKind", "fault 0xB6 = silent now", 2},
                      BadLine{"FillWithoutByte", "fault 0xB6 = long 2 fill", 2},
                      BadLine{"FaultWithoutCommand", "fault = silent", 2}),
    zul::test::FieldName());

TEST(ProfileFile, UnreadableFileIsAnErrorOnLineZero) {
    Profile p;
    const auto error = ApplyProfileFile("/nonexistent/zul.profile", p);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->line, 0);
}

TEST(ProfileFile, ReadsAFile) {
    const std::string path = ::testing::TempDir() + "/zul_profile_test.txt";
    std::ofstream(path) << "motor_speed = 0x50\n";
    Profile p;
    EXPECT_FALSE(ApplyProfileFile(path, p));
    EXPECT_EQ(p.motorSpeed, 0x50);
    std::remove(path.c_str());
}

TEST(Presets, EveryListedNameResolvesAndOthersDoNot) {
    for (const PresetInfo& preset : kPresets) {
        EXPECT_TRUE(PresetProfile(preset.name)) << preset.name;
    }
    EXPECT_FALSE(PresetProfile("Healthy"));
    EXPECT_FALSE(PresetProfile(""));
}

TEST(Presets, FaultyPresetsMisbehaveWhereTheySay) {
    SimUnit silent(*PresetProfile("silent"));
    EXPECT_TRUE(silent.Receive(cmd::kEepromErase).bytes.empty());
    SimUnit erase(*PresetProfile("refused-erase"));
    EXPECT_EQ(erase.Receive(cmd::kEepromErase).bytes, std::vector<uint8_t>{0x15});
    SimUnit write(*PresetProfile("refused-write"));
    EXPECT_EQ(write.Receive(cmd::kEepromWrite).bytes, std::vector<uint8_t>{0x15});
    EXPECT_LT(PresetProfile("slow-motor")->motorSpeed, 89);
    const Profile lever = *PresetProfile("lever-fault");
    EXPECT_LT(lever.leverPaperIn[1], 0x80);
    EXPECT_GE(lever.leverPaperOut[2], 0x80);
    SimUnit drop(*PresetProfile("drop-off"));
    drop.Receive(cmd::kEepromErase);
    drop.Receive(cmd::kEepromExecute);
    EXPECT_EQ(drop.Receive(cmd::kOpenLever).bytes, std::vector<uint8_t>{ACK});
    EXPECT_TRUE(drop.Receive(cmd::kEnq).bytes.empty());
    // Padding follows every answer, and a silent answer stays silent.
    Profile padded = *PresetProfile("padded");
    padded.faults[cmd::kEepromExecute] = {Fault{.kind = Fault::Kind::Silent}};
    SimUnit pad(padded);
    EXPECT_EQ(pad.Receive(cmd::kEepromErase).bytes, (std::vector<uint8_t>{ACK, 0x15, 0x15}));
    EXPECT_TRUE(pad.Receive(cmd::kEepromExecute).bytes.empty());
    EXPECT_EQ(pad.Receive(cmd::kMotorSpeed).bytes.size(), 3u);
}

}  // namespace
}  // namespace zul::sim
