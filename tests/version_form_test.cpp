#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QLabel>
#include <QPixmap>

#include "app/VersionForm.h"
#include "mock/TestApplication.h"

namespace {

class VersionFormTest : public ::testing::Test {
protected:
    QLabel* Label(const char* name) const {
        return form.findChild<QLabel*>(QString::fromLatin1(name));
    }

    QApplication& app_ = zul::test::TestApplication();  // before any widget
    TVersionForm form;
};

TEST(VersionLine, IsPrefixVersionAndRevision) {
    EXPECT_EQ(TVersionForm::VersionLine(), QStringLiteral("Version 1.01-01"));
}

TEST_F(VersionFormTest, EveryOpeningShowsTheVersionLineNeverTheDesignText) {
    EXPECT_EQ(form.VersionText(), QStringLiteral("Version 1.xx"));  // as designed, before use
    for (int opening = 0; opening < 3; ++opening) {
        form.SetVersionText(TVersionForm::VersionLine());
        form.show();
        EXPECT_EQ(Label("Label3")->text(), QStringLiteral("Version 1.01-01"));
        form.close();
        EXPECT_EQ(form.VersionText(), QStringLiteral("Version 1.01-01"));
    }
}

TEST_F(VersionFormTest, LabelsKeepTheirPlaceAndFitTheirText) {
    form.SetVersionText(TVersionForm::VersionLine());
    const struct {
        const char* name;
        QPoint at;
        const char* text;
    } labels[] = {{"Label2", {122, 16}, "ZUL-1x Adjustment"},
                  {"Label3", {122, 40}, "Version 1.01-01"},
                  {"Label1", {26, 68}, "TAMARACK CO.,LTD."}};
    for (const auto& expected : labels) {
        QLabel* label = Label(expected.name);
        ASSERT_NE(label, nullptr) << expected.name;
        EXPECT_EQ(label->pos(), expected.at) << expected.name;
        EXPECT_EQ(label->text(), QString::fromLatin1(expected.text));
        EXPECT_GE(label->width(), QFontMetrics(label->font()).horizontalAdvance(label->text()))
            << expected.name;
        EXPECT_LE(label->x() + label->width(), form.width()) << expected.name;
    }
}

TEST_F(VersionFormTest, WindowIsTheFixedDefinition) {
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Version"));
    EXPECT_EQ(form.size(), QSize(267, 90));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_TRUE(form.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMinMaxButtonsHint);
    EXPECT_EQ(form.font().pixelSize(), 13);
    QLabel* image = Label("Image1");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->geometry(), QRect(16, 16, 97, 49));
    EXPECT_EQ(image->pixmap().size(), QSize(90, 45));
}

}  // namespace
