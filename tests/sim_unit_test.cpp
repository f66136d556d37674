#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "mock/CaseNames.h"
#include "serial/Commands.h"
#include "sim/SimUnit.h"

namespace zul::sim {
namespace {

using Bytes = std::vector<uint8_t>;

size_t Len(SimUnit& unit, uint8_t command) {
    return unit.Receive(command).bytes.size();
}

// --- ENQ lengths per item and stage ---------------------------------------

struct EnqCase {
    const char* name;
    std::vector<uint8_t> opening;  // commands before the ENQs
    std::vector<size_t> lengths;   // the answer length of each following ENQ
};

class EnqLengths : public ::testing::TestWithParam<EnqCase> {};

TEST_P(EnqLengths, FollowTheOpenItemAndStage) {
    SimUnit unit;
    for (uint8_t command : GetParam().opening) {
        ASSERT_EQ(unit.Receive(command).bytes, Bytes{ACK}) << std::hex << int{command};
    }
    for (size_t i = 0; i < GetParam().lengths.size(); ++i) {
        EXPECT_EQ(Len(unit, cmd::kEnq), GetParam().lengths[i]) << "ENQ #" << i + 1;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Items, EnqLengths,
    ::testing::Values(
        EnqCase{"Lever", {cmd::kOpenLever}, {12, 16, 30, 30}},
        EnqCase{"LeverReopened", {cmd::kOpenLever, cmd::kOpenLever}, {12, 16, 30}},
        EnqCase{"WhiteAfterOpen", {cmd::kOpenWhite}, {8}},
        EnqCase{"WhiteAfterResistor", {cmd::kOpenWhite, cmd::kWhiteResistor}, {8, 8}},
        EnqCase{"WhiteAfterConfirm", {cmd::kOpenWhite, cmd::kWhiteResistor, cmd::kConfirm}, {8}},
        EnqCase{"Black", {cmd::kOpenBlack}, {4, 4}},
        EnqCase{"NonPaperRegisters", {cmd::kOpenNonPaper, cmd::kNonPaperResistor}, {4}},
        EnqCase{"NonPaperResult",
                {cmd::kOpenNonPaper, cmd::kNonPaperResistor, cmd::kConfirm},
                {12, 12}},
        EnqCase{"Mag", {cmd::kOpenMag}, {2, 2, 2}}, EnqCase{"NothingOpen", {}, {0}},
        EnqCase{"ClosedByErase", {cmd::kOpenBlack, cmd::kEepromErase}, {0}},
        EnqCase{"EepromWriteKeepsItem",
                {cmd::kOpenBlack, cmd::kEepromWrite, cmd::kEepromExecute},
                {4}}),
    zul::test::FieldName());

TEST(SimUnit, AcknowledgesEveryCommandThatIsNotABlock) {
    SimUnit unit;
    for (const CommandInfo& info : kCommandTable) {
        const Answer answer = unit.Receive(info.code);
        if (info.exchange != Exchange::Block) {
            EXPECT_EQ(answer.bytes, Bytes{ACK}) << info.name;
        }
        EXPECT_EQ(answer.delayMs, 0u) << info.name;
    }
}

TEST(SimUnit, BlocksOfWhiteResultAndMotorSpeed) {
    Profile profile;
    profile.motorSpeed = 97;
    profile.whiteResult[12] = 0xAB;
    SimUnit unit(profile);
    const Bytes white = unit.Receive(cmd::kWhiteResult).bytes;
    ASSERT_EQ(white.size(), 31u);
    EXPECT_EQ(white[12], 0xAB);
    EXPECT_EQ(unit.Receive(cmd::kMotorSpeed).bytes, Bytes{97});
}

TEST(SimUnit, UnknownBytesGetNoAnswer) {
    SimUnit unit;
    for (uint8_t command : {0x00, 0x06, 0x15, 0xA5, 0xFF}) {
        EXPECT_TRUE(unit.Receive(command).bytes.empty()) << int{command};
    }
    EXPECT_EQ(unit.Received().size(), 5u);
}

TEST(SimUnit, RecordsEveryReception) {
    SimUnit unit;
    unit.Receive(cmd::kEepromErase);
    unit.Receive(0x42);
    unit.Receive(cmd::kEepromErase);
    EXPECT_EQ(unit.Received(), (Bytes{cmd::kEepromErase, 0x42, cmd::kEepromErase}));
    EXPECT_EQ(unit.ReceptionCount(cmd::kEepromErase), 2u);
    unit.ClearRecord();
    EXPECT_TRUE(unit.Received().empty());
    EXPECT_EQ(unit.ReceptionCount(cmd::kEepromErase), 2u);  // counts are kept
}

// --- Reply layouts ---------------------------------------------------------

TEST(SimUnit, NonPaperRegistersThenResult) {
    Profile profile;
    profile.nonPaperRegisters = {1, 2, 3, 4};
    profile.nonPaperResult = {10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21};
    SimUnit unit(profile);
    unit.Receive(cmd::kOpenNonPaper);
    unit.Receive(cmd::kNonPaperResistor);
    EXPECT_EQ(unit.Receive(cmd::kEnq).bytes, (Bytes{1, 2, 3, 4}));
    unit.Receive(cmd::kConfirm);
    EXPECT_EQ(unit.Receive(cmd::kEnq).bytes,
              (Bytes{10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21}));
}

TEST(SimUnit, WhiteRegistersAndBlackResult) {
    Profile profile;
    profile.whiteRegisters = {8, 7, 6, 5, 4, 3, 2, 1};
    profile.blackResult = {9, 8, 7, 6};
    SimUnit unit(profile);
    unit.Receive(cmd::kOpenWhite);
    EXPECT_EQ(unit.Receive(cmd::kEnq).bytes, (Bytes{8, 7, 6, 5, 4, 3, 2, 1}));
    unit.Receive(cmd::kOpenBlack);
    EXPECT_EQ(unit.Receive(cmd::kEnq).bytes, (Bytes{9, 8, 7, 6}));
}

// --- Lever alternation -----------------------------------------------------

std::array<uint8_t, 3> ReadLevers(SimUnit& unit) {
    EXPECT_EQ(unit.Receive(cmd::kOpenLever).bytes, Bytes{ACK});
    unit.Receive(cmd::kEnq);
    unit.Receive(cmd::kEnq);
    const Bytes block = unit.Receive(cmd::kEnq).bytes;
    EXPECT_EQ(block.size(), 30u);
    if (block.size() != 30) return {};
    return {block[8], block[9], block[10]};
}

TEST(SimUnit, LeverReadingsAlternateAndEraseRestartsWithPaperIn) {
    Profile profile;
    profile.leverPaperIn = {1, 0x90, 0x91};
    profile.leverPaperOut = {0, 0x10, 0x11};
    SimUnit unit(profile);
    EXPECT_EQ(ReadLevers(unit), profile.leverPaperIn);
    EXPECT_EQ(ReadLevers(unit), profile.leverPaperOut);
    EXPECT_EQ(ReadLevers(unit), profile.leverPaperIn);
    // A new unit run after an up step alone starts with paper in again.
    unit.Receive(cmd::kEepromErase);
    EXPECT_EQ(ReadLevers(unit), profile.leverPaperIn);
    EXPECT_EQ(ReadLevers(unit), profile.leverPaperOut);
}

TEST(SimUnit, LeverBlockIsZeroOutsideTheReadings) {
    SimUnit unit;
    unit.Receive(cmd::kOpenLever);
    EXPECT_EQ(unit.Receive(cmd::kEnq).bytes, Bytes(12, 0));
    EXPECT_EQ(unit.Receive(cmd::kEnq).bytes, Bytes(16, 0));
    Bytes block = unit.Receive(cmd::kEnq).bytes;
    ASSERT_EQ(block.size(), 30u);
    block[8] = block[9] = block[10] = 0;
    EXPECT_EQ(block, Bytes(30, 0));
}

TEST(SimUnit, RefusedLeverOpenDoesNotCountAsAStep) {
    Profile profile;
    profile.faults[cmd::kOpenLever] = {Fault{.kind = Fault::Kind::Refuse, .onlyNth = 1}};
    SimUnit unit(profile);
    EXPECT_EQ(unit.Receive(cmd::kOpenLever).bytes, Bytes{0x15});
    EXPECT_EQ(unit.OpenItem(), SimUnit::Item::None);
    EXPECT_EQ(ReadLevers(unit), profile.leverPaperIn);
}

TEST(SimUnit, LeverOpenedAgainBeforeTheReadingEndedReadsTheSameSide) {
    SimUnit unit;
    unit.Receive(cmd::kOpenLever);
    unit.Receive(cmd::kEnq);
    EXPECT_EQ(ReadLevers(unit), unit.profile().leverPaperIn);
    EXPECT_EQ(ReadLevers(unit), unit.profile().leverPaperOut);
}

// --- Mag samples -----------------------------------------------------------

TEST(SimUnit, MagSamplesAdvancePerEnqLastRepeatsOpenRestarts) {
    Profile profile;
    profile.magSamples = {{30, 31}, {50, 51}, {60, 61}};
    SimUnit unit(profile);
    unit.Receive(cmd::kOpenMag);
    EXPECT_EQ(unit.Receive(cmd::kEnq).bytes, (Bytes{30, 31}));
    EXPECT_EQ(unit.Receive(cmd::kEnq).bytes, (Bytes{50, 51}));
    EXPECT_EQ(unit.Receive(cmd::kEnq).bytes, (Bytes{60, 61}));
    EXPECT_EQ(unit.Receive(cmd::kEnq).bytes, (Bytes{60, 61}));
    unit.Receive(cmd::kOpenMag);
    EXPECT_EQ(unit.Receive(cmd::kEnq).bytes, (Bytes{30, 31}));
}

TEST(SimUnit, EmptyMagSampleListAnswersZeros) {
    Profile profile;
    profile.magSamples.clear();
    SimUnit unit(profile);
    unit.Receive(cmd::kOpenMag);
    EXPECT_EQ(unit.Receive(cmd::kEnq).bytes, (Bytes{0, 0}));
}

// --- Faults ----------------------------------------------------------------

TEST(SimUnit, FaultKinds) {
    Profile profile;
    profile.faults[cmd::kEepromErase] = {Fault{.kind = Fault::Kind::Refuse, .refuseByte = 0x33}};
    profile.faults[cmd::kEepromWrite] = {Fault{.kind = Fault::Kind::Silent}};
    profile.faults[cmd::kWhiteResult] = {Fault{.kind = Fault::Kind::Short, .bytes = 30}};
    profile.faults[cmd::kMotorSpeed] = {
        Fault{.kind = Fault::Kind::Long, .bytes = 2, .extraByte = 7}};
    profile.faults[cmd::kEepromExecute] = {Fault{.kind = Fault::Kind::Late, .delayMs = 4321}};
    SimUnit unit(profile);
    EXPECT_EQ(unit.Receive(cmd::kEepromErase).bytes, Bytes{0x33});
    EXPECT_TRUE(unit.Receive(cmd::kEepromWrite).bytes.empty());
    EXPECT_EQ(unit.Receive(cmd::kWhiteResult).bytes.size(), 30u);
    EXPECT_EQ(unit.Receive(cmd::kMotorSpeed).bytes, (Bytes{profile.motorSpeed, 7, 7}));
    const Answer late = unit.Receive(cmd::kEepromExecute);
    EXPECT_EQ(late.bytes, Bytes{ACK});
    EXPECT_EQ(late.delayMs, 4321u);
}

TEST(SimUnit, RefusedBlockIsTheSingleRefuseByte) {
    Profile profile;
    profile.faults[cmd::kWhiteResult] = {Fault{.kind = Fault::Kind::Refuse}};
    SimUnit unit(profile);
    EXPECT_EQ(unit.Receive(cmd::kWhiteResult).bytes, Bytes{0x15});
}

TEST(SimUnit, FaultOnNthReceptionOnly) {
    Profile profile;
    profile.faults[cmd::kEepromErase] = {Fault{.kind = Fault::Kind::Silent, .onlyNth = 2}};
    SimUnit unit(profile);
    EXPECT_EQ(unit.Receive(cmd::kEepromErase).bytes, Bytes{ACK});
    EXPECT_TRUE(unit.Receive(cmd::kEepromErase).bytes.empty());
    EXPECT_EQ(unit.Receive(cmd::kEepromErase).bytes, Bytes{ACK});
    // Other commands do not move the count of 0xB6.
    EXPECT_EQ(unit.ReceptionCount(cmd::kEepromErase), 3u);
}

TEST(SimUnit, FirstApplicableFaultWins) {
    Profile profile;
    profile.faults[cmd::kEepromErase] = {
        Fault{.kind = Fault::Kind::Refuse, .refuseByte = 0x11, .onlyNth = 2},
        Fault{.kind = Fault::Kind::Refuse, .refuseByte = 0x22},
    };
    SimUnit unit(profile);
    EXPECT_EQ(unit.Receive(cmd::kEepromErase).bytes, Bytes{0x22});
    EXPECT_EQ(unit.Receive(cmd::kEepromErase).bytes, Bytes{0x11});
    EXPECT_EQ(unit.Receive(cmd::kEepromErase).bytes, Bytes{0x22});
}

TEST(SimUnit, ShortAnswerKeepsTheStageForTheRetry) {
    Profile profile;
    profile.faults[cmd::kEnq] = {Fault{.kind = Fault::Kind::Short, .bytes = 5, .onlyNth = 2}};
    SimUnit unit(profile);
    unit.Receive(cmd::kOpenLever);
    EXPECT_EQ(Len(unit, cmd::kEnq), 12u);
    EXPECT_EQ(Len(unit, cmd::kEnq), 5u);   // the 16-byte block cut short
    EXPECT_EQ(Len(unit, cmd::kEnq), 16u);  // sent again in full
    EXPECT_EQ(Len(unit, cmd::kEnq), 30u);
}

TEST(SimUnit, ShortLongerThanTheAnswerIsTheWholeAnswer) {
    Profile profile;
    profile.faults[cmd::kEnq] = {Fault{.kind = Fault::Kind::Short, .bytes = 40}};
    SimUnit unit(profile);
    unit.Receive(cmd::kOpenLever);
    EXPECT_EQ(Len(unit, cmd::kEnq), 12u);
    EXPECT_EQ(Len(unit, cmd::kEnq), 16u);
}

TEST(SimUnit, DropOffAfterNReceptions) {
    Profile profile;
    profile.dropOffAfter = 2;
    SimUnit unit(profile);
    EXPECT_EQ(Len(unit, cmd::kEepromErase), 1u);
    EXPECT_EQ(Len(unit, cmd::kEepromExecute), 1u);
    EXPECT_FALSE(unit.DroppedOff());
    EXPECT_EQ(Len(unit, cmd::kEepromErase), 0u);
    EXPECT_TRUE(unit.DroppedOff());
    EXPECT_EQ(Len(unit, cmd::kMotorSpeed), 0u);
    unit.Reconnect();
    EXPECT_EQ(Len(unit, cmd::kMotorSpeed), 1u);
}

TEST(SimUnit, DropOffFaultSilencesEverythingAfterwards) {
    Profile profile;
    profile.faults[cmd::kOpenMag] = {Fault{.kind = Fault::Kind::DropOff}};
    SimUnit unit(profile);
    EXPECT_EQ(Len(unit, cmd::kEepromErase), 1u);
    EXPECT_EQ(Len(unit, cmd::kOpenMag), 0u);
    EXPECT_EQ(Len(unit, cmd::kEepromErase), 0u);
    EXPECT_EQ(Len(unit, cmd::kWhiteResult), 0u);
    EXPECT_EQ(unit.Received().size(), 4u);
}

// --- Healthy defaults ------------------------------------------------------
// The limits the adjustment program judges the unit's data by.

constexpr std::array<uint8_t, 18> kAdUpper{0x5C, 0x5C, 0x5C, 0x5C, 0x5C, 0x5C, 0xCE, 0xCE, 0xCE,
                                           0xCE, 0x64, 0x64, 0x68, 0x68, 0x66, 0x66, 0x66, 0x66};
constexpr std::array<uint8_t, 18> kAdLower{0x3E, 0x3E, 0x3E, 0x3E, 0x3E, 0x3E, 0x98, 0x98, 0x98,
                                           0x98, 0x36, 0x36, 0x32, 0x32, 0x00, 0x00, 0x00, 0x00};
constexpr std::array<uint8_t, 10> kNonPaperLower{51, 51, 51, 51, 51, 51, 28, 28, 51, 51};
constexpr uint8_t kNonPaperUpper = 153;
constexpr uint8_t kDaLower = 30;

TEST(SimUnitDefaults, PassEveryLimit) {
    const Profile p;
    EXPECT_EQ(p.leverPaperIn[0], 1);
    EXPECT_GE(p.leverPaperIn[1], 0x80);
    EXPECT_GE(p.leverPaperIn[2], 0x80);
    EXPECT_EQ(p.leverPaperOut[0], 0);
    EXPECT_LT(p.leverPaperOut[1], 0x80);
    EXPECT_LT(p.leverPaperOut[2], 0x80);

    // White result block: A/D 0-11 in bytes 0-11, D/A 0-11 in 15-26, A/D 12-13
    // in 27-28, D/A 12-13 in 29-30.
    for (size_t slot = 0; slot < 14; ++slot) {
        const uint8_t ad = slot < 12 ? p.whiteResult[slot] : p.whiteResult[27 + slot - 12];
        const uint8_t da = slot < 12 ? p.whiteResult[15 + slot] : p.whiteResult[29 + slot - 12];
        EXPECT_GE(ad, kAdLower[slot]) << "white slot " << slot;
        EXPECT_LE(ad, kAdUpper[slot]) << "white slot " << slot;
        EXPECT_GE(da, kDaLower) << "white slot " << slot;
    }
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_LE(p.blackResult[i], kAdUpper[14 + i]) << "black " << i;
    }
    for (size_t row = 0; row < 10; ++row) {
        EXPECT_GE(p.nonPaperResult[row], kNonPaperLower[row]) << "non-paper row " << row;
        EXPECT_LE(p.nonPaperResult[row], kNonPaperUpper) << "non-paper row " << row;
    }
    ASSERT_FALSE(p.magSamples.empty());
    EXPECT_GE(p.magSamples.back().peak, 46);
    EXPECT_LE(p.magSamples.back().peak, 70);
    EXPECT_GE(p.motorSpeed, 89);
    EXPECT_LE(p.motorSpeed, 121);
    EXPECT_TRUE(p.faults.empty());
    EXPECT_EQ(p.dropOffAfter, 0u);
}

}  // namespace
}  // namespace zul::sim
