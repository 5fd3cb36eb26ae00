#include "app/version_check.h"
#include "legacy/build_profile.h"
#include "process/nvo_process.h"
#include "process/scripted_process_table.h"
#include "support/test_files.h"
#include "window/qt/layout_checks.h"
#include "window/qt/vercheck_window.h"

#include <QFontInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTableView>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace qlx {
namespace {

class Window : public ::testing::Test {
protected:
    void SetUp() override {
        app.create();
        window = std::make_unique<VercheckWindow>(currentProfile(), app);
    }
    void TearDown() override {
        window.reset();
        app.destroy();
    }
    template <typename T> T* get(const char* name) {
        auto* widget = qobject_cast<T*>(window->control(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    version_check app;
    std::unique_ptr<VercheckWindow> window;
};

TEST_F(Window, TitleFlagsAndBackground) {
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Quillon 설치"));
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
    EXPECT_TRUE(flags.testFlag(Qt::CustomizeWindowHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowSystemMenuHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowCloseButtonHint));
    // resizable: no fixed size
    EXPECT_NE(window->minimumSize(), window->maximumSize());
    EXPECT_EQ(window->palette().color(QPalette::Window), QColor(224, 224, 224));
}

TEST_F(Window, ControlsInControlOrderWithTheirKinds) {
    const QStringList expected{"dw_2",    "dw_1",  "st_1",     "hpb_1",
                               "cb_exit", "cb_up", "cb_exit1", "st_2"};
    QStringList names;
    for (const QWidget* control : window->controls()) {
        names << control->objectName();
    }
    EXPECT_EQ(names, expected);
    get<QTableView>("dw_2");
    get<QTableView>("dw_1");
    get<QLabel>("st_1");
    get<QProgressBar>("hpb_1");
    get<QPushButton>("cb_exit");
    get<QPushButton>("cb_up");
    get<QPushButton>("cb_exit1");
    get<QLabel>("st_2");
    // st_2 is on top of the control stack
    EXPECT_EQ(window->children().last(), window->control("st_2"));
}

TEST_F(Window, GeometryKeepsTheDesignUnitsOnOneScale) {
    test::expectPlacedOnOneScale(*window, 2139, 576,
                                 {{"dw_2", 1152, 320, 686, 400},
                                  {"dw_1", 1723, 32, 686, 400},
                                  {"st_1", 210, 64, 1650, 76},
                                  {"hpb_1", 283, 268, 1490, 92},
                                  {"cb_exit", 1477, 256, 270, 92},
                                  {"cb_up", 1010, 256, 270, 92},
                                  {"cb_exit1", 1682, 256, 270, 92},
                                  {"st_2", 210, 148, 1650, 52}});
}

TEST_F(Window, VisibilityTextsCaptionsAndNothingToFocus) {
    window->show();
    for (const char* hidden : {"dw_2", "dw_1", "cb_exit", "cb_up", "cb_exit1"}) {
        EXPECT_FALSE(window->control(hidden)->isVisible()) << hidden;
    }
    for (const char* shown : {"st_1", "hpb_1", "st_2"}) {
        EXPECT_TRUE(window->control(shown)->isVisible()) << shown;
    }
    for (QWidget* control : window->controls()) {
        EXPECT_FALSE(control->isVisible() && control->focusPolicy() != Qt::NoFocus)
            << control->objectName().toStdString();
    }
    EXPECT_EQ(get<QLabel>("st_1")->text(), QStringLiteral("Quillon 최신버전 설지 중..."));
    EXPECT_EQ(get<QLabel>("st_2")->text(),
              QStringLiteral("※ 인터넷 상태에 따라 설치시간이 달라질 수 있습니다."));
    EXPECT_EQ(get<QPushButton>("cb_exit")->text(), QStringLiteral("Exit"));
    EXPECT_EQ(get<QPushButton>("cb_up")->text(), QStringLiteral("upgrade"));
    EXPECT_EQ(get<QPushButton>("cb_exit1")->text(), QStringLiteral("exit1"));
    EXPECT_TRUE(get<QLabel>("st_1")->alignment().testFlag(Qt::AlignHCenter));
    EXPECT_TRUE(get<QLabel>("st_2")->alignment().testFlag(Qt::AlignLeft));
}

TEST_F(Window, FontsAndColoursOfTheTexts) {
    const QFont st1 = get<QLabel>("st_1")->font();
    EXPECT_EQ(st1.family(), QStringLiteral("굴림체"));
    EXPECT_EQ(st1.pointSize(), 10);
    EXPECT_EQ(st1.weight(), QFont::Bold);
    EXPECT_TRUE(st1.fixedPitch());
    const QFont st2 = get<QLabel>("st_2")->font();
    EXPECT_EQ(st2.family(), QStringLiteral("굴림체"));
    EXPECT_EQ(st2.pointSize(), 9);
    EXPECT_EQ(st2.weight(), QFont::Normal);
    EXPECT_TRUE(st2.fixedPitch());
    for (const char* button : {"cb_exit", "cb_up", "cb_exit1"}) {
        const QFont font = get<QPushButton>(button)->font();
        EXPECT_EQ(font.family(), QStringLiteral("굴림체")) << button;
        EXPECT_EQ(font.pointSize(), 10) << button;
        EXPECT_EQ(font.weight(), QFont::Normal) << button;
    }
    for (const char* name : {"st_1", "st_2"}) {
        const QPalette p = window->control(name)->palette();
        EXPECT_EQ(p.color(QPalette::WindowText), QColor(0, 0, 128)) << name;
        EXPECT_EQ(p.color(QPalette::Window), QColor(224, 224, 224)) << name;
    }
    // The substitution list ends in a font that is installed here.
    EXPECT_TRUE(QFont::substitutes(QStringLiteral("굴림체"))
                    .contains(QStringLiteral("NanumGothicCoding"), Qt::CaseInsensitive));
    EXPECT_EQ(QFontInfo(st1).family(), QStringLiteral("NanumGothicCoding"));
}

TEST_F(Window, ProgressBarDesignValuesAndBarThroughTheWindow) {
    auto* bar = get<QProgressBar>("hpb_1");
    EXPECT_EQ(bar->maximum(), 10);
    EXPECT_EQ(bar->value(), 1);
    EXPECT_EQ(bar->minimum(), 0);

    window->logic().uf_bar(std::string("SET"), 3);
    window->logic().uf_bar(std::string("BAR"), 2);
    EXPECT_EQ(bar->maximum(), 3);
    EXPECT_EQ(bar->value(), 2);
    EXPECT_EQ(get<QLabel>("st_1")->property("tag").toString(), QStringLiteral("3"));
    EXPECT_EQ(get<QLabel>("st_1")->text(), QStringLiteral("Quillon 최신버전 설지 중..."));
    window->logic().uf_bar(std::string("other"), 9);
    EXPECT_EQ(bar->maximum(), 3);
    EXPECT_EQ(bar->value(), 2);
}

TEST_F(Window, OpenedWindowIsCentred) {
    window->show();
    window->centreOnScreen();
    ASSERT_TRUE(window->isVisible());
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_NEAR(window->frameGeometry().center().x(), screen.center().x(), 2);
    EXPECT_NEAR(window->frameGeometry().center().y(), screen.center().y(), 2);
}

// Records the paints of the window it watches.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints;
        }
        return QObject::eventFilter(watched, event);
    }
};

// The update runs in the window's thread and paints only between package
// chunks: it must not start before the window has been painted once.
TEST(OpenedWindow, StartsTheUpgradeOnlyOnceItIsOnScreen) {
    version_check app;
    app.create();
    test::TempDir install;
    ASSERT_TRUE(install.isValid());
    w_vercheck::Services services = w_vercheck::systemServices();
    const std::string commandLine = "/PID=1;/PSR=" + install.filePath("quil.psr") + ";";
    services.commandLine = [commandLine] { return commandLine; };
    services.createProcessObject = [] {
        return std::make_unique<nvo_process>(std::make_unique<testing::ScriptedProcessTable>(
            testing::entry(0, "[System Process]"), std::vector<ProcessEntry>{}));
    };
    services.startProgram = [](const std::string&, const std::vector<std::string>&) {
        return true;
    };
    VercheckWindow window(currentProfile(), app, std::move(services));
    PaintCounter counter;
    window.installEventFilter(&counter);
    // The click is observed instead of running the update.
    auto* cb_up = qobject_cast<QPushButton*>(window.control("cb_up"));
    ASSERT_NE(cb_up, nullptr);
    QObject::disconnect(cb_up, &QPushButton::clicked, &window, nullptr);
    int clicks = 0;
    int paintsBeforeClick = -1;
    bool visibleAtClick = false;
    QObject::connect(cb_up, &QPushButton::clicked, [&] {
        ++clicks;
        paintsBeforeClick = counter.paints;
        visibleAtClick = window.isVisible();
    });

    window.openWindow();
    ASSERT_FALSE(window.isClosedByHandler());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (clicks == 0 && std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(clicks, 1);
    EXPECT_TRUE(visibleAtClick);
    EXPECT_GE(paintsBeforeClick, 1);
    EXPECT_EQ(window.findChild<QLabel*>(QStringLiteral("st_1"))->text(),
              QStringLiteral("Quillon 프로그램을 업그레이드 중입니다."));
    // Later paints post nothing more.
    window.repaint();
    QCoreApplication::processEvents();
    EXPECT_EQ(clicks, 1);
    window.close();
    app.destroy();
}

} // namespace
} // namespace qlx
