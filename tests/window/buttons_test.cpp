#include "support/window_fixture.h"
#include "update/package_paths.h"

namespace qlx {
namespace {

using Buttons = test::WindowFixture;

TEST_F(Buttons, ExitRelaunchesTheClientWithThePsrValueAsOneArgument) {
    const QString psr = QStringLiteral("/home/a b/quil.psr");
    makeWindow(QStringLiteral("/PID=1;/PSR=") + psr + u';').open();
    window->cb_exit_clicked();
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].program, joinPath(currentFolder(), QStringLiteral("quillon")));
    EXPECT_EQ(launches[0].arguments, QStringList{psr});
    EXPECT_TRUE(port.closed);
}

TEST_F(Buttons, ExitWithoutPsrStartsTheClientWithoutArguments) {
    for (const QString& line : {QStringLiteral("/PID=1;"), QStringLiteral("/PID=1;/PSR=   ;")}) {
        launches.clear();
        makeWindow(line).open();
        window->cb_exit_clicked();
        ASSERT_EQ(launches.size(), 1u);
        EXPECT_TRUE(launches[0].arguments.isEmpty());
    }
}

TEST_F(Buttons, ExitOneOnlyCloses) {
    makeWindow(QStringLiteral("/PID=1;")).open();
    window->cb_exit1_clicked();
    EXPECT_TRUE(launches.empty());
    EXPECT_TRUE(port.closed);
}

TEST_F(Buttons, UpgradeThatCannotReachTheDatabaseTellsTheUserAndDoesNotRelaunch) {
    // The default interface of an empty settings table is Oracle's, which no
    // test machine has: the connect fails.
    makeWindow(QStringLiteral("/PID=1;/SERVER=NOWHERE;")).open();
    window->cb_up_clicked();
    ASSERT_EQ(port.boxes.size(), 2u);
    EXPECT_EQ(port.boxes[0].title, QStringLiteral("Err!"));
    EXPECT_EQ(port.boxes[1].title, QStringLiteral("에러!"));
    EXPECT_EQ(port.boxes[1].text, QStringLiteral("홈페이지에서 직접 업그레이드 하세요."));
    EXPECT_TRUE(launches.empty());
    EXPECT_TRUE(port.closed);
}

} // namespace
} // namespace qlx
