#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QPushButton>
#include <QStyleFactory>
#include <QTest>
#include <chrono>
#include <memory>
#include <string>

#include "app/MainForm.h"
#include "app/UnitIdForm.h"
#include "e2e/SimProcess.h"
#include "mock/MainFormControls.h"
#include "mock/RecordingMessageSink.h"
#include "mock/ScratchDirectory.h"
#include "mock/TestApplication.h"
#include "records/FolderDestination.h"
#include "records/RunExtras.h"
#include "records/Spool.h"
#include "serial/Clock.h"
#include "serial/Rs232cForm.h"
#include "serial/TermiosPort.h"

#ifndef ZUL1X_SIM_BINARY
#error "ZUL1X_SIM_BINARY must name the built simulator tool"
#endif
#ifndef ZUL10_RECORDS_BINARY
#error "ZUL10_RECORDS_BINARY must name the built zul10-records"
#endif

namespace zul::test {

// One bench as the program builds it: the main window over the termios port
// on the system clock, the port opened by the port settings dialog from the
// settings file, and the simulator tool as a separate process at the other
// end of the line. The current directory is a fresh one for the settings
// file, and COM1 leads to the simulator's link. The run records and the line
// monitor are made from the environment as the program makes them.
struct E2eBench : MainFormControls {
    explicit E2eBench(const QStringList& simArgs) : sim(ZUL1X_SIM_BINARY, dir.path(), simArgs) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);  // before the application exists
        TestApplication();
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Windows")));
        EXPECT_TRUE(sim.Started()) << sim.Errors();
        setenv("ZUL10_COM1", sim.link().c_str(), 1);
        // The station's settings as the program reads them, from the
        // environment over a station file of the bench's own (none unless a
        // test writes one), never this machine's.
        setenv("ZUL10_STATION_FILE", (dir.path() + "/station.conf").c_str(), 1);
        // The records' spool of a bench of its own, delivered by the
        // zul10-records of this build.
        setenv("XDG_STATE_HOME", state.path().c_str(), 1);
        const StationConfig config = ReadStationConfig(StationFilePath());
        extras = std::make_unique<RunExtras>(config, port, clock, messages, "1.01-01",
                                             ZUL10_RECORDS_BINARY);
        form = std::make_unique<TMainForm>(port, clock, extras->recorder());
        unitIdForm =
            TUnitIdForm::ForStation(config.scanUnitId, config.unitIdPattern, messages, form.get());
        form->SetUnitIdSource(unitIdForm.get());
        rs232c = std::make_unique<TRs232cForm>(port, messages);
        extras->SetLine(&rs232c->session().line());
        form->SetDialogs(rs232c.get(), nullptr);
        form->show();
        EXPECT_TRUE(port.IsOpen());
        EXPECT_TRUE(messages.boxes.empty()) << messages.boxes.front().text;
    }
    explicit E2eBench(const char* preset) : E2eBench(QStringList{"--preset", preset}) {}
    ~E2eBench() {
        unitIdForm.reset();
        form.reset();
        rs232c.reset();
        port.Close();
        extras.reset();
        EXPECT_EQ(sim.Stop(), 0) << sim.Errors();
        unsetenv("ZUL10_COM1");
        unsetenv("XDG_STATE_HOME");
    }

    void Click(QPushButton* button) const {
        ASSERT_TRUE(button->isVisible() && button->isEnabled())
            << button->objectName().toStdString();
        QTest::mouseClick(button, Qt::LeftButton);
    }
    void ClickStart() const { Click(Start()); }
    void ClickExit() const { Click(Exit()); }

    // Waits, at most 10 s, until the forwards the program started have
    // delivered every record it spooled to folder; false when they did not.
    static bool AwaitDelivery(const std::string& folder) {
        return AwaitDeliveryTo(records::FolderDestination(folder).Key());
    }
    // The same for the destination of key (a Destination's Key()).
    static bool AwaitDeliveryTo(const std::string& key) {
        const records::Spool spool(records::Spool::DefaultFolder());
        std::vector<std::string> refused;
        for (int tries = 0; tries < 1000; ++tries) {
            if (!spool.Files(refused).empty() && spool.CountWaiting(key, {}).bytes == 0) {
                return true;
            }
            QTest::qWait(10);
        }
        return false;
    }

    // Clicks Start, and returns how long the click took in ms.
    int64_t TimedClickStart() const {
        const auto begin = std::chrono::steady_clock::now();
        ClickStart();
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - begin)
            .count();
    }

    ScratchDirectory dir;      // first: the simulator's link and log live in it
    TemporaryDirectory state;  // the spool's, beside
    SimProcess sim;
    SystemClock clock;
    TermiosPort port;
    RecordingMessageSink messages;
    std::unique_ptr<RunExtras> extras;
    std::unique_ptr<TUnitIdForm> unitIdForm;  // when the station asks for serial numbers
    std::unique_ptr<TRs232cForm> rs232c;
};

}  // namespace zul::test
