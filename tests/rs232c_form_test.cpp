#include <gtest/gtest.h>

#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <memory>
#include <ostream>
#include <string>

#include "mock/CaseNames.h"
#include "mock/OpenRecordingPort.h"
#include "mock/RecordingMessageSink.h"
#include "mock/ScratchDirectory.h"
#include "mock/TestApplication.h"
#include "serial/Rs232cForm.h"

namespace {

using zul::test::OpenRecordingPort;
using zul::test::RecordingMessageSink;

constexpr const char* kFile = "ZUL1x_comm.ini";

const std::string kDefaultFile =
    "*** BILL VALIDATOR ***\r\n"
    "BORDRATE:CBR_9600\r\n"
    "COMPORT:COM1\r\n"
    "STOPBIT:ONESTOPBIT\r\n"
    "PARITYBIT:EVENPARITY\r\n";

const std::string kPortError = "WRONG COM PORT\xEF\xBC\x81\n Error Code:2";

std::string FileWith(const std::string& baud, const std::string& port, const std::string& stop,
                     const std::string& parity) {
    return "*** BILL VALIDATOR ***\r\nBORDRATE:" + baud + "\r\nCOMPORT:" + port +
           "\r\nSTOPBIT:" + stop + "\r\nPARITYBIT:" + parity + "\r\n";
}

class Rs232cFormTest : public ::testing::Test {
protected:
    Rs232cFormTest() { zul::test::TestApplication(); }

    TRs232cForm& MakeForm() {
        form_ = std::make_unique<TRs232cForm>(port, sink);
        return *form_;
    }

    QRadioButton* Radio(const char* name) const {
        auto* radio = form_->findChild<QRadioButton*>(QString::fromLatin1(name));
        EXPECT_NE(radio, nullptr) << name;
        return radio;
    }
    QPushButton* Button(const char* name) const {
        return form_->findChild<QPushButton*>(QString::fromLatin1(name));
    }
    // The texts of the checked entries, one per group: port, baud, parity, stop bits.
    std::string Checked() const {
        std::string shown;
        for (const char* group : {"SelRsCom", "SelRsBps", "SelRsParity", "SelStopBit"}) {
            auto* box = form_->findChild<QGroupBox*>(QString::fromLatin1(group));
            QString text = QStringLiteral("-");
            for (auto* radio : box->findChildren<QRadioButton*>()) {
                if (radio->isChecked()) text = radio->text();
            }
            if (!shown.empty()) shown += ", ";
            shown += text.toStdString();
        }
        return shown;
    }

    zul::test::ScratchDirectory dir;
    OpenRecordingPort port;
    RecordingMessageSink sink;
    std::unique_ptr<TRs232cForm> form_;
};

TEST_F(Rs232cFormTest, WithoutFileShowsDefaultsOpensCom1AndWritesTheDefaultFile) {
    MakeForm();
    EXPECT_EQ(Checked(), "COM-1, 9600 bps, Even, 1 stop");
    EXPECT_EQ(kDefaultFile.size(), 99u);
    EXPECT_EQ(dir.Read(kFile), kDefaultFile);
    ASSERT_EQ(port.fake.openedNames, std::vector<std::string>{"COM1"});
    ASSERT_EQ(port.fake.configured.size(), 1u);
    const zul::LineSettings expected{"COM1", 9600, zul::kEvenParity, 8, zul::kOneStopBit};
    EXPECT_EQ(port.fake.configured[0], expected);
    EXPECT_TRUE(form_->session().portOpen());
    EXPECT_TRUE(sink.boxes.empty());
    EXPECT_EQ(form_->ShownSelection(), (zul::PortSettings{0, 2, 0, 1}));
}

TEST_F(Rs232cFormTest, WindowIsTheFixedDefinition) {
    MakeForm();
    EXPECT_EQ(form_->windowTitle(), QStringLiteral("Setting RS232C port"));
    EXPECT_EQ(form_->size(), QSize(384, 190));
    EXPECT_EQ(form_->minimumSize(), form_->maximumSize());
    const Qt::WindowFlags flags = form_->windowFlags();
    EXPECT_FALSE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(flags & Qt::WindowMinMaxButtonsHint);
    EXPECT_TRUE(flags & Qt::WindowTitleHint);
    EXPECT_EQ(form_->font().pixelSize(), 12);
    EXPECT_TRUE(Button("OkBtn")->isDefault());
    EXPECT_EQ(Button("OkBtn")->text(), QStringLiteral("OK"));
    EXPECT_EQ(Button("CloseBtn")->text(), QStringLiteral("Cancel"));
    EXPECT_EQ(Radio("SelRsCom_6")->text(), QStringLiteral("COM-7"));
    EXPECT_EQ(Radio("SelRsParity_1")->text(), QStringLiteral("Even"));
}

TEST_F(Rs232cFormTest, OnlyThePortCanBeChosen) {
    MakeForm();
    EXPECT_TRUE(Radio("SelRsCom_3")->isEnabled());
    for (const char* name :
         {"SelRsBps_0", "SelRsBps_4", "SelRsParity_0", "SelRsParity_2", "SelStopBit_1"}) {
        EXPECT_FALSE(Radio(name)->isEnabled()) << name;
    }
    form_->show();
    QTest::mouseClick(Radio("SelRsBps_4"), Qt::LeftButton);
    QTest::mouseClick(Radio("SelStopBit_1"), Qt::LeftButton);
    QTest::mouseClick(Radio("SelRsParity_0"), Qt::LeftButton);
    EXPECT_EQ(Checked(), "COM-1, 9600 bps, Even, 1 stop");
}

TEST_F(Rs232cFormTest, ChoosingCom6AndOkReopensAndStoresIt) {
    MakeForm();
    Radio("SelRsCom_5")->click();
    EXPECT_EQ(form_->session().line().portName, "COM6");  // the click sets the line only
    EXPECT_EQ(port.fake.openedNames.size(), 1u);
    Button("OkBtn")->click();

    EXPECT_EQ(form_->result(), QDialog::Accepted);
    EXPECT_EQ(port.closes, 1);
    EXPECT_EQ(port.fake.openedNames, (std::vector<std::string>{"COM1", "COM6"}));
    EXPECT_EQ(port.fake.configured.back().portName, "COM6");
    EXPECT_EQ(dir.Read(kFile), FileWith("CBR_9600", "COM6", "ONESTOPBIT", "EVENPARITY"));
    EXPECT_TRUE(form_->session().portOpen());
    // The next showing starts from the confirmed selection.
    EXPECT_EQ(Checked(), "COM-6, 9600 bps, Even, 1 stop");
}

TEST_F(Rs232cFormTest, CancelBringsBackTheFileAndLeavesThePort) {
    MakeForm();
    Radio("SelRsCom_2")->click();
    Button("CloseBtn")->click();

    EXPECT_EQ(form_->result(), QDialog::Rejected);
    EXPECT_EQ(Checked(), "COM-1, 9600 bps, Even, 1 stop");
    EXPECT_EQ(form_->session().line().portName, "COM1");
    EXPECT_EQ(port.fake.openedNames.size(), 1u);
    EXPECT_EQ(port.fake.configured.size(), 1u);
    EXPECT_EQ(port.closes, 0);
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(dir.Read(kFile), kDefaultFile);
}

TEST_F(Rs232cFormTest, CancelShowsWhatTheFileNowSays) {
    MakeForm();
    dir.Write(kFile, FileWith("CBR_38400", "COM5", "TWOSTOPBITS", "ODDPARITY"));
    Button("CloseBtn")->click();
    EXPECT_EQ(Checked(), "COM-5, 38400 bps, Odd, 2 stop");
    EXPECT_EQ(form_->ShownSelection(), (zul::PortSettings{4, 4, 1, 2}));
    EXPECT_EQ(port.fake.openedNames.size(), 1u);
}

TEST_F(Rs232cFormTest, CancelWithoutFileShowsTheDefaults) {
    dir.Write(kFile, FileWith("CBR_1200", "COM3", "TWOSTOPBITS", "NOPARITY"));
    MakeForm();
    EXPECT_EQ(Checked(), "COM-3, 1200 bps, Non, 2 stop");
    std::filesystem::remove(kFile);
    Button("CloseBtn")->click();
    EXPECT_EQ(Checked(), "COM-1, 9600 bps, Even, 1 stop");
}

TEST_F(Rs232cFormTest, EnterActsAsOk) {
    MakeForm();
    form_->show();
    Radio("SelRsCom_5")->click();
    QTest::keyClick(form_.get(), Qt::Key_Return);
    EXPECT_FALSE(form_->isVisible());
    EXPECT_EQ(form_->result(), QDialog::Accepted);
    EXPECT_EQ(port.fake.openedNames.back(), "COM6");
}

TEST_F(Rs232cFormTest, EscActsAsCancel) {
    MakeForm();
    form_->show();
    Radio("SelRsCom_5")->click();
    QTest::keyClick(form_.get(), Qt::Key_Escape);
    EXPECT_FALSE(form_->isVisible());
    EXPECT_EQ(form_->result(), QDialog::Rejected);
    EXPECT_EQ(Checked(), "COM-1, 9600 bps, Even, 1 stop");
    EXPECT_EQ(port.fake.openedNames.size(), 1u);
}

TEST_F(Rs232cFormTest, TabGoesFromThePortToOkToCancel) {
    MakeForm();
    form_->show();
    form_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
    Radio("SelRsCom_0")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), Button("OkBtn"));  // the locked groups are skipped
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), Button("CloseBtn"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), Radio("SelRsCom_0"));
}

TEST_F(Rs232cFormTest, FailedOpenAtCreationShowsThePortErrorAndStoresNothing) {
    port.failures["COM1"] = zul::SerialPort::kErrorNotFound;
    MakeForm();
    ASSERT_EQ(sink.boxes.size(), 1u);
    EXPECT_EQ(sink.boxes[0].caption, "RS232C PORT");
    EXPECT_EQ(sink.boxes[0].text, kPortError);
    EXPECT_FALSE(form_->session().portOpen());
    EXPECT_FALSE(dir.Read(kFile).has_value());
    EXPECT_EQ(Checked(), "COM-1, 9600 bps, Even, 1 stop");
}

TEST_F(Rs232cFormTest, OkWithAMissingPortClosesTheDialogAndKeepsTheFile) {
    port.failures["COM4"] = zul::SerialPort::kErrorNotFound;
    MakeForm();
    Radio("SelRsCom_3")->click();
    Button("OkBtn")->click();
    EXPECT_EQ(form_->result(), QDialog::Accepted);
    ASSERT_EQ(sink.boxes.size(), 1u);
    EXPECT_EQ(sink.boxes[0].text, kPortError);
    EXPECT_FALSE(form_->session().portOpen());
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(dir.Read(kFile), kDefaultFile);

    // A later OK with a working port opens it without further ado.
    Radio("SelRsCom_1")->click();
    Button("OkBtn")->click();
    EXPECT_EQ(sink.boxes.size(), 1u);
    EXPECT_TRUE(form_->session().portOpen());
    EXPECT_EQ(port.fake.openedNames.back(), "COM2");
    EXPECT_EQ(dir.Read(kFile), FileWith("CBR_9600", "COM2", "ONESTOPBIT", "EVENPARITY"));
}

struct ShownFile {
    const char* name;
    std::string content;
    std::string shown;  // port, baud, parity, stop bits
};

void PrintTo(const ShownFile& file, std::ostream* out) {
    *out << file.name;
}

class Rs232cFormFileTest : public Rs232cFormTest,
                           public ::testing::WithParamInterface<ShownFile> {};

TEST_P(Rs232cFormFileTest, ShowsTheStoredSelection) {
    dir.Write(kFile, GetParam().content);
    MakeForm();
    EXPECT_EQ(Checked(), GetParam().shown);
    // The port is opened with what is shown, and the file is written back the same.
    const zul::PortSettings shown = form_->ShownSelection();
    EXPECT_EQ(shown, form_->session().selection());
    EXPECT_EQ(dir.Read(kFile), zul::FormatSettingsFile(shown));
}

INSTANTIATE_TEST_SUITE_P(
    Files, Rs232cFormFileTest,
    ::testing::Values(
        ShownFile{"Baud19200", FileWith("CBR_19200", "COM1", "ONESTOPBIT", "EVENPARITY"),
                  "COM-1, 19200 bps, Even, 1 stop"},
        ShownFile{"Com7Baud1200TwoStopOdd",
                  FileWith("CBR_1200", "COM7", "TWOSTOPBITS", "ODDPARITY"),
                  "COM-7, 1200 bps, Odd, 2 stop"},
        ShownFile{"Com2Baud2400NoParity", FileWith("CBR_2400", "COM2", "ONESTOPBIT", "NOPARITY"),
                  "COM-2, 2400 bps, Non, 1 stop"},
        // An unknown baud rate keeps 9600 and the reader goes on.
        ShownFile{"UnknownBaudKeeps9600", FileWith("CBR_4800", "COM3", "ONESTOPBIT", "NOPARITY"),
                  "COM-3, 9600 bps, Non, 1 stop"},
        // A port line before the baud line is skipped.
        ShownFile{"PortBeforeBaudIsSkipped", "COMPORT:COM5\r\nBORDRATE:CBR_38400\r\n",
                  "COM-1, 38400 bps, Even, 1 stop"},
        ShownFile{"NoKeys", "garbage\r\n", "COM-1, 9600 bps, Even, 1 stop"}),
    zul::test::FieldName());

}  // namespace
