#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "mock/CaseNames.h"
#include "serial/ParityMarking.h"

namespace zul {
namespace {

constexpr int Err(int byte) {
    return 'E' << 8 | byte;
}

// Decodes raw in pieces of splitAt bytes (0: all at once) with one decoder,
// as reads of a line deliver it; 'E' stands for a line error.
std::vector<int> Decode(const std::vector<uint8_t>& raw, size_t splitAt = 0) {
    ParityMarkDecoder decoder;
    std::vector<int> out;
    const size_t step = splitAt == 0 ? raw.size() : splitAt;
    for (size_t start = 0; start < raw.size(); start += step) {
        for (size_t i = start; i < raw.size() && i < start + step; ++i) {
            const auto result = decoder.Feed(raw[i]);
            if (result.kind == ParityMarkDecoder::Kind::kByte) out.push_back(result.byte);
            if (result.kind == ParityMarkDecoder::Kind::kLineError) out.push_back(Err(result.byte));
        }
    }
    return out;
}

struct MarkCase {
    std::string name;
    std::vector<uint8_t> raw;
    std::vector<int> decoded;
};
void PrintTo(const MarkCase& c, std::ostream* os) {
    *os << c.name;
}

class ParityMarkingTest : public ::testing::TestWithParam<MarkCase> {};

TEST_P(ParityMarkingTest, DecodesWholeAndSplitAtEveryPoint) {
    const MarkCase& c = GetParam();
    EXPECT_EQ(Decode(c.raw), c.decoded);
    for (size_t split = 1; split <= c.raw.size(); ++split) {
        EXPECT_EQ(Decode(c.raw, split), c.decoded) << "split every " << split;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Streams, ParityMarkingTest,
    ::testing::Values(
        MarkCase{"PlainBytes", {0x06, 0x00, 0x7F, 0x80, 0xFE}, {0x06, 0x00, 0x7F, 0x80, 0xFE}},
        MarkCase{"DoubledMarkIsOneFF", {0xFF, 0xFF}, {0xFF}},
        MarkCase{"TwoRealFFs", {0xFF, 0xFF, 0xFF, 0xFF}, {0xFF, 0xFF}},
        MarkCase{"ParityErrorByte", {0x01, 0xFF, 0x00, 0x41, 0x02}, {0x01, Err(0x41), 0x02}},
        MarkCase{"ErrorOnAnFF", {0xFF, 0x00, 0xFF}, {Err(0xFF)}},
        MarkCase{"BreakOrErrorOnZero", {0xFF, 0x00, 0x00}, {Err(0x00)}},
        MarkCase{"ZeroAfterDoubledMark", {0xFF, 0xFF, 0x00}, {0xFF, 0x00}},
        MarkCase{"MalformedMark", {0xFF, 0x41, 0x42}, {Err(0x41), 0x42}},
        MarkCase{"ErrorThenGood", {0xFF, 0x00, 0x10, 0xFF, 0xFF, 0x11}, {Err(0x10), 0xFF, 0x11}}),
    zul::test::FieldName());

TEST(ParityMarkDecoder, PendingWhileAMarkIsOpenAndResetDropsIt) {
    ParityMarkDecoder decoder;
    EXPECT_FALSE(decoder.Pending());
    EXPECT_EQ(decoder.Feed(0xFF).kind, ParityMarkDecoder::Kind::kNone);
    EXPECT_TRUE(decoder.Pending());
    EXPECT_EQ(decoder.Feed(0x00).kind, ParityMarkDecoder::Kind::kNone);
    EXPECT_TRUE(decoder.Pending());
    decoder.Reset();
    EXPECT_FALSE(decoder.Pending());
    const auto result = decoder.Feed(0x00);
    EXPECT_EQ(result.kind, ParityMarkDecoder::Kind::kByte);
    EXPECT_EQ(result.byte, 0x00);
}

}  // namespace
}  // namespace zul
