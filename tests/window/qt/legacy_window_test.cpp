#include "app/version_check.h"
#include "legacy/build_profile.h"
#include "window/qt/layout_checks.h"
#include "window/qt/vercheck_window.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QRawFont>

#include <gtest/gtest.h>

#include <string>

namespace qlx {
namespace {

class LegacyWindow : public ::testing::Test {
protected:
    void SetUp() override {
        app.create();
        window = std::make_unique<VercheckWindow>(kLegacyProfile, app);
    }
    void TearDown() override {
        window.reset();
        app.destroy();
    }
    version_check app;
    std::unique_ptr<VercheckWindow> window;
};

TEST_F(LegacyWindow, ItsOwnTitleSizeColoursAndControlOrder) {
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Quillon 프로그램 업그레이드"));
    EXPECT_NEAR(double(window->width()) / window->height(), 2121.0 / 560.0, 0.03);
    EXPECT_EQ(window->palette().color(QPalette::Window),
              QApplication::palette().color(QPalette::Button));

    QStringList names;
    for (const QWidget* control : window->controls()) {
        names << control->objectName();
    }
    EXPECT_EQ(names, (QStringList{"dw_2", "dw_1", "st_2", "st_1", "hpb_1", "cb_exit", "cb_up",
                                  "cb_exit1"}));

    auto* st1 = qobject_cast<QLabel*>(window->control("st_1"));
    auto* st2 = qobject_cast<QLabel*>(window->control("st_2"));
    ASSERT_TRUE(st1 && st2);
    EXPECT_EQ(st1->text(), QStringLiteral("Quillon 프로그램을 업그레이드 중입니다."));
    EXPECT_EQ(st1->font().family(), QStringLiteral("굴림체"));
    EXPECT_EQ(st1->font().pointSize(), 11);
    EXPECT_EQ(st1->font().weight(), QFont::Bold);
    EXPECT_TRUE(st1->font().fixedPitch());
    EXPECT_TRUE(st1->alignment().testFlag(Qt::AlignLeft));
    EXPECT_EQ(st2->text(),
              QStringLiteral("업그레이드 할 때 네트웍의 상태에 따라 몇분정도 소요가 됩니다."));
    EXPECT_EQ(st2->font().family(), QStringLiteral("굴림체"));
    EXPECT_EQ(st2->font().pointSize(), 10);
    EXPECT_EQ(st2->font().weight(), QFont::Normal);
    EXPECT_TRUE(st2->alignment().testFlag(Qt::AlignLeft));
    EXPECT_EQ(st1->palette().color(QPalette::WindowText),
              QApplication::palette().color(QPalette::WindowText));
    // st_2 is not brought to the top: the bar and the buttons stand above it.
    EXPECT_NE(window->children().last(), window->control("st_2"));

    auto* bar = qobject_cast<QProgressBar*>(window->control("hpb_1"));
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->maximum(), 10);
    EXPECT_EQ(bar->value(), 1);
}

TEST_F(LegacyWindow, GeometryKeepsItsDesignUnitsOnOneScale) {
    test::expectPlacedOnOneScale(*window, 2121, 560,
                                 {{"dw_2", 1152, 320, 686, 400},
                                  {"dw_1", 1723, 32, 686, 400},
                                  {"st_2", 55, 116, 1966, 52},
                                  {"st_1", 41, 20, 1664, 68},
                                  {"hpb_1", 32, 216, 1847, 64},
                                  {"cb_exit", 1477, 256, 270, 92},
                                  {"cb_up", 1010, 256, 270, 92},
                                  {"cb_exit1", 1682, 256, 270, 92}});
}

TEST_F(LegacyWindow, RendersEveryGlyph) {
    window->show();
    const QImage image = window->grab().toImage();
    ASSERT_TRUE(image.save(QDir(QCoreApplication::applicationDirPath())
                               .absoluteFilePath(QStringLiteral("w_vercheck_legacy.png"))));
    for (const char* name : {"st_1", "st_2"}) {
        const auto* label = qobject_cast<QLabel*>(window->control(name));
        const QRawFont raw = QRawFont::fromFont(label->font());
        ASSERT_TRUE(raw.isValid());
        for (const QChar c : label->text()) {
            EXPECT_TRUE(raw.supportsCharacter(c)) << name << " U+" << std::hex << int(c.unicode());
        }
    }
    // The legacy bar is drawn in blocks.
    auto* bar = qobject_cast<QProgressBar*>(window->control("hpb_1"));
    ASSERT_NE(bar, nullptr);
    window->logic().uf_bar(std::string("BAR"), 6);
    EXPECT_GE(test::filledStretches(*bar), 5);
}

} // namespace
} // namespace qlx
