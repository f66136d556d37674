#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "mock/CaseNames.h"
#include "serial/Clock.h"
#include "serial/CommandExchange.h"
#include "serial/Commands.h"
#include "sim/SimPort.h"
#include "sim/SimUnit.h"

namespace zul {
namespace {

using sim::Fault;
using Kind = sim::Fault::Kind;
using Bytes = std::vector<uint8_t>;

// An exchange over the in-process port to a simulated unit.
class ExchangeTest : public ::testing::Test {
protected:
    ExchangeTest() {
        EXPECT_EQ(port.OpenDevice("COM1"), SerialPort::kOk);
        EXPECT_EQ(port.Configure(LineSettings{.portName = "COM1"}), SerialPort::kOk);
        reply.fill(0xCC);
    }

    void SetFault(uint8_t command, Fault fault) { unit.profile().faults[command] = {fault}; }
    size_t Sent(uint8_t command) const {
        size_t n = 0;
        for (uint8_t byte : unit.Received()) n += byte == command;
        return n;
    }

    sim::SimUnit unit;
    ManualClock clock;
    sim::SimPort port{unit, clock};
    std::array<uint8_t, 31> reply{};
    CommandExchange exchange{port, reply};
};

TEST_F(ExchangeTest, HealthyUnitAnswersEachOperationOnFirstAttempt) {
    EXPECT_EQ(exchange.AnsweredCommand(cmd::kEepromErase), CommandExchange::kAccepted);
    EXPECT_EQ(reply[0], ACK);
    EXPECT_TRUE(exchange.AcknowledgedCommand(cmd::kOpenWhite));
    EXPECT_TRUE(exchange.BlockRequest(8, cmd::kEnq));
    EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 8),
              Bytes(unit.profile().whiteRegisters.begin(), unit.profile().whiteRegisters.end()));
    EXPECT_EQ(port.writes(), 3u);
    EXPECT_EQ(port.reads(), 3u);
    EXPECT_EQ(clock.NowMs(), 0u);
}

// A refusal: final for an answered command, retried for an acknowledged one.
class RefusalTest : public ExchangeTest, public ::testing::WithParamInterface<uint8_t> {};

TEST_P(RefusalTest, AnsweredCommandGivesRefusedAfterOneTransmission) {
    SetFault(cmd::kEepromErase, Fault{.kind = Kind::Refuse, .refuseByte = GetParam()});
    EXPECT_EQ(exchange.AnsweredCommand(cmd::kEepromErase), CommandExchange::kRefused);
    EXPECT_EQ(Sent(cmd::kEepromErase), 1u);
    EXPECT_EQ(reply[0], GetParam());
    EXPECT_EQ(clock.NowMs(), 0u);
}

TEST_P(RefusalTest, AcknowledgedCommandGivesFalseAfterFourTransmissions) {
    SetFault(cmd::kOpenLever, Fault{.kind = Kind::Refuse, .refuseByte = GetParam()});
    EXPECT_FALSE(exchange.AcknowledgedCommand(cmd::kOpenLever));
    EXPECT_EQ(Sent(cmd::kOpenLever), 4u);
    EXPECT_EQ(reply[0], 0xCC);  // the caller's buffer is not touched
}

INSTANTIATE_TEST_SUITE_P(NonAckBytes, RefusalTest, ::testing::Values(0x15, 0x00, 0x07, 0xFF),
                         [](const auto& info) { return test::HexName("Answer", info.param); });

TEST_F(ExchangeTest, SilentUnitGivesNoAnswerAfterFourTransmissionsAndFourTimeOuts) {
    SetFault(cmd::kEepromErase, Fault{.kind = Kind::Silent});
    EXPECT_EQ(exchange.AnsweredCommand(cmd::kEepromErase), CommandExchange::kNoAnswer);
    EXPECT_EQ(Sent(cmd::kEepromErase), 4u);
    EXPECT_EQ(port.reads(), 4u);
    EXPECT_EQ(clock.NowMs(), 4u * 2010u);
}

TEST_F(ExchangeTest, SilentUnitFailsAcknowledgedCommandAfterFourTimeOuts) {
    SetFault(cmd::kOpenMag, Fault{.kind = Kind::Silent});
    EXPECT_FALSE(exchange.AcknowledgedCommand(cmd::kOpenMag));
    EXPECT_EQ(Sent(cmd::kOpenMag), 4u);
    EXPECT_EQ(clock.NowMs(), 4u * 2010u);
}

TEST_F(ExchangeTest, SilentWhiteResultAtLongTimeOutTakesFourTimesItsDeadline) {
    SetFault(cmd::kWhiteResult, Fault{.kind = Kind::Silent});
    exchange.SetReadTimeout(kWhiteResultTimeoutMs);
    EXPECT_FALSE(exchange.BlockRequest(31, cmd::kWhiteResult));
    EXPECT_EQ(Sent(cmd::kWhiteResult), 4u);
    EXPECT_EQ(clock.NowMs(), 4u * 10310u);
}

TEST_F(ExchangeTest, ShortBlockOnEveryAttemptFails) {
    SetFault(cmd::kWhiteResult, Fault{.kind = Kind::Short, .bytes = 30});
    EXPECT_FALSE(exchange.BlockRequest(31, cmd::kWhiteResult));
    EXPECT_EQ(Sent(cmd::kWhiteResult), 4u);
    EXPECT_EQ(clock.NowMs(), 4u * (2000u + 310u));
}

TEST_F(ExchangeTest, RefusedBlockCountsAsShortAndIsRetried) {
    SetFault(cmd::kMotorSpeed, Fault{.kind = Kind::Refuse, .onlyNth = 1});
    exchange.SetReadTimeout(kMotorSpeedTimeoutMs);
    // A one-byte block cannot tell a refusal from data: the refuse byte is the answer.
    EXPECT_TRUE(exchange.BlockRequest(1, cmd::kMotorSpeed));
    EXPECT_EQ(reply[0], 0x15);
    unit.profile().faults[cmd::kWhiteResult] = {Fault{.kind = Kind::Refuse, .onlyNth = 1}};
    EXPECT_TRUE(exchange.BlockRequest(31, cmd::kWhiteResult));
    EXPECT_EQ(Sent(cmd::kWhiteResult), 2u);
}

TEST_F(ExchangeTest, LongAnswerSucceedsAndItsSurplusNeverReachesTheNextExchange) {
    // Surplus ACKs after the black block would make a refused 0xB0 look accepted.
    SetFault(cmd::kEnq, Fault{.kind = Kind::Long, .bytes = 20, .extraByte = ACK});
    SetFault(cmd::kEepromWrite, Fault{.kind = Kind::Refuse});
    ASSERT_TRUE(exchange.AcknowledgedCommand(cmd::kOpenBlack));
    EXPECT_TRUE(exchange.BlockRequest(4, cmd::kEnq));
    EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 4),
              Bytes(unit.profile().blackResult.begin(), unit.profile().blackResult.end()));
    EXPECT_EQ(reply[4], 0xCC);  // nothing beyond the four bytes asked for
    EXPECT_EQ(exchange.AnsweredCommand(cmd::kEepromWrite), CommandExchange::kRefused);
    EXPECT_EQ(Sent(cmd::kEepromWrite), 1u);
    EXPECT_EQ(clock.NowMs(), 0u);
}

TEST_F(ExchangeTest, LongAcknowledgementIsAccepted) {
    SetFault(cmd::kEepromErase, Fault{.kind = Kind::Long, .bytes = 3, .extraByte = 0x15});
    EXPECT_EQ(exchange.AnsweredCommand(cmd::kEepromErase), CommandExchange::kAccepted);
    EXPECT_EQ(exchange.AnsweredCommand(cmd::kEepromExecute), CommandExchange::kAccepted);
}

TEST_F(ExchangeTest, ReadWithNoWriteGetsNothing) {
    unit.Receive(cmd::kEepromErase);  // answered, but not over the port
    std::array<uint8_t, 1> buffer{};
    EXPECT_EQ(port.ReadPort(buffer), 0u);
    EXPECT_EQ(clock.NowMs(), 2010u);
}

// A write failure: one write, no read, immediate result.
TEST_F(ExchangeTest, WriteFailureEndsEachOperationAtOnce) {
    port.FailWrites(true);
    EXPECT_EQ(exchange.AnsweredCommand(cmd::kEepromErase), CommandExchange::kNoAnswer);
    EXPECT_EQ(port.writes(), 1u);
    EXPECT_FALSE(exchange.AcknowledgedCommand(cmd::kOpenWhite));
    EXPECT_EQ(port.writes(), 2u);
    EXPECT_FALSE(exchange.BlockRequest(31, cmd::kWhiteResult));
    EXPECT_EQ(port.writes(), 3u);
    EXPECT_EQ(port.reads(), 0u);
    EXPECT_TRUE(unit.Received().empty());
    EXPECT_EQ(clock.NowMs(), 0u);
}

TEST_F(ExchangeTest, ClosedPortEndsEachOperationAtOnce) {
    port.Close();
    EXPECT_EQ(exchange.AnsweredCommand(cmd::kEepromErase), CommandExchange::kNoAnswer);
    EXPECT_FALSE(exchange.AcknowledgedCommand(cmd::kOpenWhite));
    EXPECT_FALSE(exchange.BlockRequest(2, cmd::kEnq));
    EXPECT_EQ(port.writes(), 3u);
    EXPECT_EQ(port.reads(), 0u);
    EXPECT_EQ(clock.NowMs(), 0u);
}

TEST_F(ExchangeTest, BlockRequestBeyondTheBufferSendsNothing) {
    EXPECT_FALSE(exchange.BlockRequest(32, cmd::kWhiteResult));
    EXPECT_FALSE(exchange.BlockRequest(0, cmd::kEnq));
    EXPECT_FALSE(exchange.BlockRequest(-1, cmd::kEnq));
    EXPECT_EQ(port.writes(), 0u);
}

// Misbehaving only on the n-th reception: the next attempt recovers.
struct NthCase {
    const char* name;
    Fault::Kind kind;
};

class NthFaultTest : public ExchangeTest, public ::testing::WithParamInterface<NthCase> {};

TEST_P(NthFaultTest, RecoversOnTheNextAttempt) {
    // Short: nothing of a one-byte answer, five bytes of a block.
    const Fault fault{.kind = GetParam().kind, .bytes = 0, .delayMs = 60000, .onlyNth = 1};
    Fault blockFault = fault;
    blockFault.bytes = 5;
    SetFault(cmd::kEepromExecute, fault);
    SetFault(cmd::kOpenLever, fault);
    SetFault(cmd::kEnq, blockFault);

    if (GetParam().kind != Kind::Refuse) {  // a refusal to an answered command is final
        EXPECT_EQ(exchange.AnsweredCommand(cmd::kEepromExecute), CommandExchange::kAccepted);
        EXPECT_EQ(Sent(cmd::kEepromExecute), 2u);
    }
    EXPECT_TRUE(exchange.AcknowledgedCommand(cmd::kOpenLever));
    EXPECT_EQ(Sent(cmd::kOpenLever), 2u);
    if (GetParam().kind == Kind::Late) return;  // a late block still moves the unit on
    // The first lever block fails once; the retry gets the same 12-byte block
    // and the stages go on from there.
    EXPECT_TRUE(exchange.BlockRequest(12, cmd::kEnq));
    EXPECT_TRUE(exchange.BlockRequest(16, cmd::kEnq));
    EXPECT_TRUE(exchange.BlockRequest(30, cmd::kEnq));
    EXPECT_EQ(reply[8], unit.profile().leverPaperIn[0]);
    EXPECT_EQ(reply[9], unit.profile().leverPaperIn[1]);
    EXPECT_EQ(Sent(cmd::kEnq), 4u);
}

INSTANTIATE_TEST_SUITE_P(Kinds, NthFaultTest,
                         ::testing::Values(NthCase{"Refuse", Kind::Refuse},
                                           NthCase{"Silent", Kind::Silent},
                                           NthCase{"Short", Kind::Short},
                                           NthCase{"TooLate", Kind::Late}),
                         zul::test::FieldName());

// An answer that comes late but within the deadline is in time; the clock
// moves by the unit's delay only.
struct LateCase {
    uint32_t delayMs;
    bool inTime;
};

class LateAnswerTest : public ExchangeTest, public ::testing::WithParamInterface<LateCase> {};

TEST_P(LateAnswerTest, CountsOnlyWithinTheDeadline) {
    SetFault(cmd::kMotorSpeed, Fault{.kind = Kind::Late, .delayMs = GetParam().delayMs});
    exchange.SetReadTimeout(kMotorSpeedTimeoutMs);
    const bool ok = exchange.BlockRequest(1, cmd::kMotorSpeed);
    EXPECT_EQ(ok, GetParam().inTime);
    if (GetParam().inTime) {
        EXPECT_EQ(reply[0], unit.profile().motorSpeed);
        EXPECT_EQ(clock.NowMs(), GetParam().delayMs);
    } else {
        EXPECT_EQ(clock.NowMs(), 4u * 5010u);
    }
}

INSTANTIATE_TEST_SUITE_P(AroundTheDeadline, LateAnswerTest,
                         ::testing::Values(LateCase{0, true}, LateCase{4999, true},
                                           LateCase{5010, true}, LateCase{5011, false},
                                           LateCase{20000, false}),
                         [](const auto& info) {
                             return std::to_string(info.param.delayMs) + "ms";
                         });

}  // namespace
}  // namespace zul
