#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "mock/CaseNames.h"
#include "mock/FakePort.h"
#include "mock/RecordingMessageSink.h"
#include "mock/TemporaryDirectory.h"
#include "serial/PortSession.h"

namespace zul {
namespace {

using test::FakePort;
using test::RecordingMessageSink;

const std::string kDefaultContent =
    "*** BILL VALIDATOR ***\r\nBORDRATE:CBR_9600\r\nCOMPORT:COM1\r\nSTOPBIT:ONESTOPBIT\r\n"
    "PARITYBIT:EVENPARITY\r\n";

class PortSessionTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.ok()); }

    std::string FileContent() const { return test::ReadFile(path_); }
    void PutFile(const std::string& content) const { test::WriteFile(path_, content); }

    test::TemporaryDirectory dir_;
    std::string path_ = dir_.File(kSettingsFileName);
    FakePort port_;
    RecordingMessageSink sink_;
};

TEST(PortErrorText, FullWidthMarkLineFeedAndLowercaseHex) {
    EXPECT_EQ(PortSession::PortErrorText(2), "WRONG COM PORT\xEF\xBC\x81\n Error Code:2");
    EXPECT_EQ(PortSession::PortErrorText(5), "WRONG COM PORT\xEF\xBC\x81\n Error Code:5");
    EXPECT_EQ(PortSession::PortErrorText(0x57), "WRONG COM PORT\xEF\xBC\x81\n Error Code:57");
    EXPECT_EQ(PortSession::PortErrorText(0x1F), "WRONG COM PORT\xEF\xBC\x81\n Error Code:1f");
    EXPECT_EQ(PortSession::PortErrorText(0xABCDEF01),
              "WRONG COM PORT\xEF\xBC\x81\n Error Code:abcdef01");
}

TEST_F(PortSessionTest, StartUpWithoutFileOpensCom1AndWritesTheDefaults) {
    PortSession session(port_, sink_, path_);
    session.FormCreate();
    EXPECT_TRUE(session.portOpen());
    EXPECT_EQ(port_.calls, (std::vector<std::string>{"open COM1", "configure"}));
    ASSERT_EQ(port_.configured.size(), 1u);
    EXPECT_EQ(port_.configured[0], (LineSettings{"COM1", 9600, kEvenParity, 8, kOneStopBit}));
    EXPECT_EQ(FileContent(), kDefaultContent);
    EXPECT_TRUE(sink_.boxes.empty());
}

TEST_F(PortSessionTest, StartUpUsesTheFile) {
    PutFile("BORDRATE:CBR_19200\r\nCOMPORT:COM3\r\nSTOPBIT:TWOSTOPBITS\r\nPARITYBIT:ODDPARITY\r\n");
    PortSession session(port_, sink_, path_);
    session.FormCreate();
    EXPECT_EQ(port_.openedNames, std::vector<std::string>{"COM3"});
    ASSERT_EQ(port_.configured.size(), 1u);
    EXPECT_EQ(port_.configured[0], (LineSettings{"COM3", 19200, kOddParity, 8, kTwoStopBits}));
    EXPECT_EQ(session.selection(), (PortSettings{2, 3, 1, 2}));
    // Rewritten in the program's own form, title line included.
    EXPECT_EQ(FileContent(),
              "*** BILL VALIDATOR ***\r\nBORDRATE:CBR_19200\r\nCOMPORT:COM3\r\n"
              "STOPBIT:TWOSTOPBITS\r\nPARITYBIT:ODDPARITY\r\n");
}

struct OpenFailure {
    const char* name;
    uint32_t openError;
    uint32_t configureError;
    const char* text;
    bool fileWritten;
};
void PrintTo(const OpenFailure& c, std::ostream* os) {
    *os << c.name;
}

class PortSessionFailureTest : public PortSessionTest,
                               public ::testing::WithParamInterface<OpenFailure> {};

TEST_P(PortSessionFailureTest, ShowsTheBoxAndLeavesThePortClosed) {
    const OpenFailure& f = GetParam();
    PutFile("COMPORT:COM4\r\n");  // what an earlier run left
    port_.openError = f.openError;
    port_.configureError = f.configureError;
    PortSession session(port_, sink_, path_);
    session.FormCreate();
    EXPECT_FALSE(session.portOpen());
    EXPECT_FALSE(port_.IsOpen());
    ASSERT_EQ(sink_.boxes.size(), 1u);
    EXPECT_EQ(sink_.boxes[0].caption, "RS232C PORT");
    EXPECT_EQ(sink_.boxes[0].text, f.text);
    if (f.fileWritten) {
        EXPECT_EQ(FileContent(), kDefaultContent);
    } else {
        EXPECT_EQ(FileContent(), "COMPORT:COM4\r\n");
        EXPECT_EQ(port_.configured.size(), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Codes, PortSessionFailureTest,
    ::testing::Values(
        OpenFailure{"NoSuchPort", 2, 0, "WRONG COM PORT\xEF\xBC\x81\n Error Code:2", false},
        OpenFailure{"InUse", 5, 0, "WRONG COM PORT\xEF\xBC\x81\n Error Code:5", false},
        OpenFailure{"BadConfiguration", 0, 0x57, "WRONG COM PORT\xEF\xBC\x81\n Error Code:57",
                    true}),
    zul::test::FieldName());

TEST_F(PortSessionTest, UnwritableFileShowsItsBoxButThePortOpens) {
    PortSession session(port_, sink_, (dir_.path() / "missing" / kSettingsFileName).string());
    session.FormCreate();
    EXPECT_TRUE(session.portOpen());
    ASSERT_EQ(sink_.boxes.size(), 1u);
    EXPECT_EQ(sink_.boxes[0], (RecordingMessageSink::Box{"WRITE FILE", "File cannot be opened"}));
}

TEST_F(PortSessionTest, OkToCom6ClosesReopensAndWritesTheFile) {
    PortSession session(port_, sink_, path_);
    session.FormCreate();
    port_.calls.clear();
    PortSettings chosen = session.selection();
    chosen.port = 5;
    session.Ok(chosen);
    EXPECT_TRUE(session.portOpen());
    EXPECT_EQ(port_.calls, (std::vector<std::string>{"close", "open COM6", "configure"}));
    EXPECT_EQ(session.line().portName, "COM6");
    EXPECT_NE(FileContent().find("\r\nCOMPORT:COM6\r\n"), std::string::npos);
    EXPECT_EQ(session.selection(), chosen);
}

TEST_F(PortSessionTest, OkWithAMissingPortKeepsTheFileThenAWorkingPortOpens) {
    PortSession session(port_, sink_, path_);
    session.FormCreate();
    port_.openError = 2;
    session.Ok(PortSettings{6, 2, 0, 1});
    EXPECT_FALSE(session.portOpen());
    EXPECT_EQ(sink_.boxes.size(), 1u);
    EXPECT_EQ(FileContent(), kDefaultContent);

    port_.openError = 0;
    port_.calls.clear();
    session.Ok(PortSettings{2, 2, 0, 1});
    EXPECT_TRUE(session.portOpen());
    EXPECT_EQ(port_.calls, (std::vector<std::string>{"open COM3", "configure"}));  // no close
    EXPECT_NE(FileContent().find("COMPORT:COM3"), std::string::npos);
}

TEST_F(PortSessionTest, CancelRestoresTheFilesSelectionAndLeavesThePort) {
    PutFile("BORDRATE:CBR_2400\r\nCOMPORT:COM2\r\n");
    PortSession session(port_, sink_, path_);
    session.FormCreate();
    session.ApplySelection(PortSettings{5, 4, 1, 0});  // the operator's clicks
    EXPECT_EQ(session.line().portName, "COM6");
    port_.calls.clear();
    session.Cancel();
    EXPECT_TRUE(port_.calls.empty());
    EXPECT_TRUE(session.portOpen());
    EXPECT_EQ(session.selection(), (PortSettings{1, 1, 0, 1}));
    EXPECT_EQ(session.line(), (LineSettings{"COM2", 2400, kEvenParity, 8, kOneStopBit}));
}

TEST_F(PortSessionTest, ApplySelectionLeavesGroupsWithoutSelection) {
    PortSession session(port_, sink_, path_);
    session.ReloadSettings();
    session.ApplySelection(PortSettings{3, 0, 1, 2});
    EXPECT_EQ(session.line(), (LineSettings{"COM4", 1200, kOddParity, 8, kTwoStopBits}));
    session.ApplySelection(PortSettings{-1, 5, -1, 3});
    EXPECT_EQ(session.line(), (LineSettings{"COM4", 1200, kOddParity, 8, kTwoStopBits}));
    EXPECT_EQ(session.selection(), (PortSettings{3, 0, 1, 2}));
    session.ApplySelection(PortSettings{0, 4, 0, 0});
    EXPECT_EQ(session.line(), (LineSettings{"COM1", 38400, kNoParity, 8, kOneStopBit}));
}

TEST_F(PortSessionTest, ReloadClosesAnOpenPortAndRereadsTheFile) {
    PortSession session(port_, sink_, path_);
    session.FormCreate();
    PutFile("BORDRATE:CBR_1200\r\n");
    port_.calls.clear();
    session.ReloadSettings();
    EXPECT_EQ(port_.calls, std::vector<std::string>{"close"});
    EXPECT_FALSE(session.portOpen());
    EXPECT_EQ(session.line().baudRate, 1200);
    port_.calls.clear();
    session.ReloadSettings();  // closed already: nothing to close
    EXPECT_TRUE(port_.calls.empty());
}

}  // namespace
}  // namespace zul
