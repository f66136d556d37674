// The program entry: one copy per PC, the three windows in their fixed order,
// the event loop, and exit code 0 in every case.

#include <QEvent>
#include <QMargins>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QScreen>
#include <QSize>
#include <QWindow>
#include <exception>
#include <memory>

#include "ProgramVersion.h"
#include "app/GuardedApplication.h"
#include "app/Logo.h"
#include "app/MainForm.h"
#include "app/MessageBoxSink.h"
#include "app/ProgramLook.h"
#include "app/SingleInstance.h"
#include "app/UnitIdForm.h"
#include "app/VersionForm.h"
#include "records/ForwardLauncher.h"
#include "records/RunExtras.h"
#include "serial/Clock.h"
#include "serial/PlatformPort.h"
#include "serial/Rs232cForm.h"

namespace {

// Centres a window on its screen, frame included, when it is first exposed:
// only then has the window manager framed it, and only then is the frame's
// size known. Without a window manager the frame is empty.
class CentreWhenExposed final : public QObject {
public:
    explicit CentreWhenExposed(QWindow& window) : window_(window) {
        window.installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose && window_.isExposed()) {
            watched->removeEventFilter(this);
            const QMargins frame = window_.frameMargins();
            const QSize outer = window_.size().grownBy(frame);
            const QRect area = window_.screen()->availableGeometry();
            window_.setFramePosition(area.topLeft() + QPoint((area.width() - outer.width()) / 2,
                                                             (area.height() - outer.height()) / 2));
        }
        return false;
    }

private:
    QWindow& window_;
};

void Run(zul::GuardedApplication& app) {
    zul::UseProgramLook();
    QApplication::setWindowIcon(zul::ProgramIcon());

    zul::SystemClock clock;
    zul::PlatformPort port;
    zul::MessageBoxSink messages;
    // The run records and the line monitor, when the station file or the
    // environment asks for them; before the port opens, so the monitor sees
    // it open. The records are delivered by the zul10-records beside the
    // program.
    const zul::StationConfig config = zul::ReadStationConfig(zul::StationFilePath());
    zul::RunExtras extras(config, port, clock, messages,
                          std::string(zul::kProgramVersion) + zul::kRevisionSuffix,
                          zul::records::ProgramBeside("zul10-records"));

    // Created in this order: the main window first, then the port settings
    // dialog, whose creation reads the settings file and opens the port (an
    // error box may appear before the main window), then the version dialog.
    TMainForm MainForm(port, clock, extras.recorder());
    TRs232cForm Rs232cForm(port, messages);
    extras.SetLine(&Rs232cForm.session().line());
    TVersionForm VersionForm;
    MainForm.SetDialogs(&Rs232cForm, &VersionForm);
    // The unit's serial number at each Start, when the station asks for it.
    const std::unique_ptr<TUnitIdForm> unitIdForm =
        TUnitIdForm::ForStation(config.scanUnitId, config.unitIdPattern, messages, &MainForm);
    MainForm.SetUnitIdSource(unitIdForm.get());

    MainForm.winId();  // makes the native window, to be watched from its first exposure on
    CentreWhenExposed centring(*MainForm.windowHandle());
    MainForm.show();
    app.exec();
}

}  // namespace

int main(int argc, char** argv) {
    // Another copy runs: end at once, silently.
    if (!zul::AcquireSingleInstance("ZUL10")) return 0;

    try {
        zul::GuardedApplication app(argc, argv);
        try {
            Run(app);
        } catch (...) {
            zul::GuardedApplication::ShowException(std::current_exception());
        }
    } catch (...) {
        // The application object itself could not be made: nothing to show on.
    }
    return 0;
}
