#include "package/package_paths.h"
#include "platform/files.h"
#include "process/program_name.h"
#include "support/window_fixture.h"

#include <filesystem>

namespace qlx {
namespace {

using Buttons = test::WindowFixture;

TEST_F(Buttons, ExitRelaunchesTheClientWithThePsrValueAsOneArgument) {
    const std::string psr = "/home/a b/quil.psr";
    makeWindow("/PID=1;/PSR=" + psr + ";").open();
    window->cb_exit_clicked();
    ASSERT_EQ(launches.size(), 1u);
    const std::string client = programFileName("quillon");
    EXPECT_EQ(launches[0].program, joinPath(currentFolder(), client));
    EXPECT_EQ(std::filesystem::path(launches[0].program),
              std::filesystem::path(install.path()) / client);
    EXPECT_EQ(launches[0].arguments, std::vector<std::string>{psr});
    EXPECT_TRUE(port.closed);
}

TEST_F(Buttons, ExitWithoutPsrStartsTheClientWithoutArguments) {
    for (const std::string line : {"/PID=1;", "/PID=1;/PSR=   ;"}) {
        launches.clear();
        makeWindow(line).open();
        window->cb_exit_clicked();
        ASSERT_EQ(launches.size(), 1u);
        EXPECT_TRUE(launches[0].arguments.empty());
    }
}

TEST_F(Buttons, ExitOneOnlyCloses) {
    makeWindow("/PID=1;").open();
    window->cb_exit1_clicked();
    EXPECT_TRUE(launches.empty());
    EXPECT_TRUE(port.closed);
}

TEST_F(Buttons, UpgradeThatCannotReachTheDatabaseTellsTheUserAndDoesNotRelaunch) {
    // The default interface of an empty settings table is Oracle's, which no
    // test machine has: the connect fails.
    makeWindow("/PID=1;/SERVER=NOWHERE;").open();
    window->cb_up_clicked();
    ASSERT_EQ(port.boxes.size(), 2u);
    EXPECT_EQ(port.boxes[0].title, "Err!");
    EXPECT_EQ(port.boxes[1].title, "에러!");
    EXPECT_EQ(port.boxes[1].text, "홈페이지에서 직접 업그레이드 하세요.");
    EXPECT_TRUE(launches.empty());
    EXPECT_TRUE(port.closed);
}

} // namespace
} // namespace qlx
