// Every caption of the program's windows fits its box in the program's look,
// with the faces this machine gives for Arial and Courier New: a face wider
// than Arial (Wine's fallback where Arial is missing) cuts
// "5.Without paper adjustment", "Peak Value" and "NG". On Windows the suite
// runs on the windows platform, whose font database is the system's (GDI),
// as the program's is; the offscreen platform would bring Qt's own fonts.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <QWidget>
#include <algorithm>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "app/MainForm.h"
#include "app/ProgramLook.h"
#include "app/UnitIdForm.h"
#include "app/VersionForm.h"
#include "mock/FakePort.h"
#include "mock/GoodRunScreens.h"
#include "mock/RecordingMessageSink.h"
#include "mock/ScratchDirectory.h"
#include "mock/TestApplication.h"
#include "serial/Clock.h"
#include "serial/Rs232cForm.h"
#include "sim/SimPort.h"
#include "sim/SimUnit.h"

namespace zul {
namespace {

void MakeApplication() {
#ifdef _WIN32
    qputenv("QT_QPA_PLATFORM", "windows");
#endif
    test::TestApplication();
    UseProgramLook();
}

// The width text needs in font, over its widest line.
int TextWidth(const QFont& font, const QString& text) {
    const QFontMetrics metrics(font);
    int widest = 0;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        widest = std::max(widest, metrics.horizontalAdvance(line));
    }
    return widest;
}

// One line per caption of window (and its children) that does not fit, as
// "name: "text" needs N px, has M".
std::string Cut(QWidget& window) {
    std::string cut;
    const auto tell = [&cut](const QWidget& widget, const QString& text, int needs, int has) {
        if (needs <= has) return;
        cut += widget.objectName().toStdString() + ": \"" + text.toStdString() + "\" needs " +
               std::to_string(needs) + " px, has " + std::to_string(has) + "\n";
    };
    QList<QWidget*> widgets = window.findChildren<QWidget*>();
    widgets.prepend(&window);
    for (QWidget* widget : widgets) {
        widget->ensurePolished();
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            const QString text = label->text();
            if (text.isEmpty() || Qt::mightBeRichText(text) || label->wordWrap()) continue;
            const int indent = label->indent() > 0 ? label->indent() : 0;
            const int has = label->contentsRect().width() - 2 * label->margin() - indent;
            tell(*label, text, TextWidth(label->font(), text), has);
        } else if (auto* radio = qobject_cast<QRadioButton*>(widget)) {
            tell(*radio, radio->text(), radio->sizeHint().width(), radio->width());
        } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
            const QString text = button->text().remove(QLatin1Char('&'));
            const int margin =
                button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button);
            tell(*button, text, TextWidth(button->font(), text) + margin, button->width());
        } else if (auto* box = qobject_cast<QGroupBox*>(widget)) {
            if (box->title().isEmpty()) continue;
            QStyleOptionGroupBox option;
            option.initFrom(box);
            option.text = box->title();
            option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
            const QRect title = box->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                             QStyle::SC_GroupBoxLabel, box);
            tell(*box, box->title(), title.right() + 1, box->width());
        }
    }
    return cut;
}

// The window's clock: moves the unit's clock along, and looks at the window
// at each of the items' waits, while an item is current.
class LookingClock final : public Clock {
public:
    LookingClock(ManualClock& unit, std::function<void()> look)
        : unit_(unit), look_(std::move(look)) {}
    uint64_t NowMs() override { return unit_.NowMs(); }
    void SleepMs(uint32_t ms) override {
        unit_.SleepMs(ms);
        look_();
    }

private:
    ManualClock& unit_;
    std::function<void()> look_;
};

// All through a complete run, each item's caption in its look then (the
// current one in bold).
TEST(LabelFitTest, EveryCaptionOfTheMainWindowFitsAllThroughARun) {
    MakeApplication();
    sim::SimUnit unit;
    ManualClock unitClock;
    sim::SimPort port(unit, unitClock);
    port.OpenDevice("COM1");
    port.Configure(LineSettings{.portName = "COM1"});
    std::unique_ptr<TMainForm> form;
    std::set<std::string> cut;
    const auto look = [&] {
        if (form != nullptr) cut.insert(Cut(*form));
    };
    LookingClock clock(unitClock, look);
    form = std::make_unique<TMainForm>(port, clock);
    form->show();
    look();
    for (const test::ScreenAfter& screen : test::kGoodRunScreens) {
        ASSERT_EQ(form->AdjStep(), screen.step);
        form->btnStartClick();
        if (screen.step == 8) form->Timer1Timer();  // the live mag display
        look();
    }
    cut.erase("");
    EXPECT_THAT(cut, testing::IsEmpty());
    form.reset();
}

// As shown: the serial number dialog is laid out when it is.
TEST(LabelFitTest, EveryCaptionOfTheDialogsFits) {
    MakeApplication();
    test::ScratchDirectory scratch;  // the port dialog reads the settings file here
    test::FakePort port;
    test::RecordingMessageSink messages;
    TRs232cForm ports(port, messages);
    TVersionForm version;
    TUnitIdForm unitId;
    for (QWidget* dialog : {static_cast<QWidget*>(&ports), static_cast<QWidget*>(&version),
                            static_cast<QWidget*>(&unitId)}) {
        dialog->show();
        QApplication::processEvents();
        EXPECT_EQ(Cut(*dialog), "") << dialog->objectName().toStdString();
        dialog->hide();
    }
}

}  // namespace
}  // namespace zul
