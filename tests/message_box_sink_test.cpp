#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include "app/MessageBoxSink.h"
#include "mock/TestApplication.h"

namespace {

TEST(MessageBoxSink, ShowsAModalExclamationBoxWithOneOkButton) {
    zul::test::TestApplication();
    bool seen = false;
    QString caption, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
    // Looks at the box while it waits for the operator, then presses its OK.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        seen = true;
        caption = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttons = static_cast<int>(box->buttons().size());
        box->button(QMessageBox::Ok)->click();
    });
    poll.start(10);

    zul::MessageBoxSink sink;
    sink.ShowExclamation("RS232C PORT", "WRONG COM PORT\xEF\xBC\x81\n Error Code:2");

    ASSERT_TRUE(seen);
    EXPECT_EQ(caption, QStringLiteral("RS232C PORT"));
    EXPECT_EQ(text, QString::fromUtf8("WRONG COM PORT\xEF\xBC\x81\n Error Code:2"));
    EXPECT_EQ(text.at(14), QChar(0xFF01));
    EXPECT_EQ(icon, QMessageBox::Warning);
    EXPECT_EQ(buttons, 1);
}

}  // namespace
