#include "platform/installation_lock.h"
#include "support/child_processes.h"
#include "support/packages.h"
#include "support/test_files.h"
#include "support/updater_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace qlx {
namespace {

using Lines = std::vector<std::string>;

// A copy of the updater in `folder`, away from its libraries and beside
// whatever the test puts there.
std::string copyUpdaterTo(const test::TempDir& folder) {
    const std::string copy = folder.filePath("qlx_upt");
    std::error_code error;
    fs::copy_file(test::binFolder() + "/qlx_upt", copy, error);
    return error ? std::string() : copy;
}

class UpdaterProcess : public ::testing::Test {
protected:
    void SetUp() override {
        run.installStandInClient();
        ASSERT_TRUE(test::writeFile(run.path("quil.psr"),
                                    R"({"rows":[{"CODE":"DataBase-DBMS","VALUE":"SQLite"},)"
                                    R"({"CODE":"QL_UPT_TIME","VALUE":"77"}]})"));
        db = run.path("update.db");
        test::createSqliteUpdateDatabase(db);
        test::addBuildPackage(db, "QLX_UPT3", "main", "bin", 4,
                              test::makePackage({{"quillon.dat", "v4"}, {"한글.txt", "가"}}));
        test::addBuildPackage(db, "QLX_UPT2", "legacy", "old", 12,
                              test::makePackage({{"l.txt", "12"}}));
    }

    test::UpdaterRun run;
    std::string db;
};

TEST_F(UpdaterProcess, UpdatesFromSqliteAndRelaunchesTheClient) {
    const std::string psr = run.path("quil.psr");
    const int status = run.run("qlx_upt", "/PID=1;/PSR=" + psr + ";/SERVER=update.db;/BUILDNO=3;");
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(run.boxes().empty());
    EXPECT_EQ(test::readFile(run.path("bin/quillon.dat")), "v4");
    EXPECT_EQ(test::readFile(run.path("bin/한글.txt")), "가");
    EXPECT_TRUE(test::fileExists(run.path("upt/main.zip")));
    EXPECT_EQ(test::settingIn(psr, "QL_UPT_TIME"), "");
    const auto arguments = run.clientArguments();
    ASSERT_TRUE(arguments.has_value());
    EXPECT_EQ(*arguments, Lines{psr});
}

TEST_F(UpdaterProcess, UnreachableDatabaseTellsTheUserAndDoesNotRelaunch) {
    const std::string psr = run.path("quil.psr");
    const int status = run.run("qlx_upt", "/PID=1;/PSR=" + psr + ";/SERVER=missing.db;/BUILDNO=3;");
    EXPECT_EQ(status, 2);
    const auto boxes = run.boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].title, "Err!");
    EXPECT_EQ(boxes[1].title, "에러!");
    EXPECT_EQ(boxes[1].text, "홈페이지에서 직접 업그레이드 하세요.");
    EXPECT_NE(test::settingIn(psr, "QL_UPT_TIME"), "");
    EXPECT_NE(test::settingIn(psr, "QL_UPT_TIME"), "77");
    EXPECT_FALSE(run.clientArguments(500).has_value());
}

TEST_F(UpdaterProcess, NoArgumentsIsRefusedWithTheRealBox) {
    EXPECT_EQ(run.run("qlx_upt", ""), 1);
    const auto boxes = run.boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, "확인!");
    EXPECT_EQ(boxes[0].text, "정상적인 업그레이드 방식이 아닙니다.");
    EXPECT_EQ(boxes[0].buttons, "Ok");
    // Built without QLX_UNATTENDED_BOXES, as users get it, the updater ignores
    // what answers the boxes here: its refusal waits for a person.
    EXPECT_EQ(run.run("qlx_upt_attended", "", {}, {}, 3000), -1);
    EXPECT_EQ(run.boxes().size(), 1u);
}

TEST_F(UpdaterProcess, QuestionAboutRunningProgramsIsAskedAndDeclined) {
    testing::ChildProcesses processes;
    const auto a = processes.start("quillon");
    const auto b = processes.start("ql_label");
    EXPECT_EQ(run.run("qlx_upt", "/PID=1;/SERVER=update.db;", {"escape"}), 1);
    const auto boxes = run.boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].buttons, "Yes,No");
    EXPECT_NE(boxes[0].text.find("2개 실행중입니다."), std::string::npos) << boxes[0].text;
    EXPECT_EQ(boxes[1].text, "Quillon와 관련된 모든 프로그램을 종료 후\r\n다시 시도해 주십시오.");
    EXPECT_TRUE(processes.alive(a));
    EXPECT_TRUE(processes.alive(b));
}

TEST_F(UpdaterProcess, SecondUpdaterIsRefused) {
    // The first updater of this installation holds its lock.
    testing::ChildProcesses processes;
    processes.start("qlx_upt");
    const InstallationLock first = InstallationLock::take(run.folder());
    ASSERT_EQ(first.state(), InstallationLock::State::Held);
    EXPECT_EQ(run.run("qlx_upt", "/PID=1;/SERVER=update.db;"), 1);
    const auto boxes = run.boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, "확인! [02]");
    EXPECT_FALSE(run.clientArguments(300).has_value());
}

TEST_F(UpdaterProcess, MissingExtractionLibraryEndsTheProgramWithAnError) {
    // A copy of the updater in a folder without its libraries.
    test::TempDir bin;
    const std::string copy = copyUpdaterTo(bin);
    ASSERT_FALSE(copy.empty());
    fs::permissions(copy, fs::perms::owner_read | fs::perms::owner_exec);
    const int status = run.run(copy, "/PID=1;/PSR=quil.psr;/SERVER=update.db;/BUILDNO=3;");
    EXPECT_EQ(status, 3);
    const auto boxes = run.boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find("libEZip.so"), std::string::npos) << boxes[0].text;
    EXPECT_FALSE(run.clientArguments(300).has_value());
}

// The installation folder is the users'; plugins come only from Qt's own
// folder, neither from beside the executable nor from where the environment
// points.
TEST_F(UpdaterProcess, LoadsPluginsOnlyFromQtsOwnFolder) {
    test::TempDir bin;
    test::TempDir elsewhere;
    const std::string qts = std::string(QLX_QT_PLUGIN_FOLDER) + "/platforms";
    for (const test::TempDir* folder : {&bin, &elsewhere}) {
        std::error_code error;
        fs::create_directories(folder->filePath("platforms"), error);
        ASSERT_TRUE(
            fs::copy_file(qts + "/libqoffscreen.so", folder->filePath("platforms/libqp.so"), error))
            << error.message();
    }
    const std::string copy = copyUpdaterTo(bin);
    ASSERT_FALSE(copy.empty());
    // A qt.conf beside the executable could name any folder.
    ASSERT_TRUE(
        test::writeFile(bin.filePath("qt.conf"), "[Paths]\nPlugins=" + elsewhere.path() + "\n"));
    EXPECT_EQ(run.run(copy, "", {},
                      {"QT_DEBUG_PLUGINS=1", "QT_PLUGIN_PATH=" + elsewhere.path(),
                       "QT_QPA_PLATFORM_PLUGIN_PATH=" + elsewhere.filePath("platforms")}),
              1);
    const std::string& log = run.errorOutput();
    EXPECT_NE(log.find(qts), std::string::npos) << "the plugin search is not logged";
    EXPECT_EQ(log.find(bin.path()), std::string::npos);
    EXPECT_EQ(log.find(elsewhere.path()), std::string::npos);
}

// The legacy updater's database interface is fixed; its "/SERVER=" names an
// ODBC data source, here one over the test's SQLite database.
class LegacyUpdaterProcess : public UpdaterProcess {
protected:
    void SetUp() override {
        UpdaterProcess::SetUp();
        std::string driver;
        for (const char* candidate : {"/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so",
                                      "/usr/lib/odbc/libsqlite3odbc.so"}) {
            if (test::fileExists(candidate)) {
                driver = candidate;
            }
        }
        ASSERT_FALSE(driver.empty()) << "the SQLite ODBC driver is not installed";
        ASSERT_TRUE(
            test::writeFile(odbc.filePath("odbcinst.ini"), "[SQLite3]\nDriver=" + driver + "\n"));
        ASSERT_TRUE(test::writeFile(odbc.filePath("odbc.ini"),
                                    "[QLX_LEGACY]\nDriver=SQLite3\nDatabase=" + db + "\n"));
        environment = {"ODBCSYSINI=" + odbc.path(), "ODBCINI=" + odbc.filePath("odbc.ini")};
    }
    test::TempDir odbc;
    std::vector<std::string> environment;
};

TEST_F(LegacyUpdaterProcess, InstallsFromItsOwnTableWithoutProcessControl) {
    testing::ChildProcesses processes;
    const auto client = processes.start("quilmsg");
    // A DataBase-DBMS row of its own has no effect on the legacy updater.
    const int status =
        run.run("qlx_upt3", "/PSR=quil.psr;/SERVER=QLX_LEGACY;/BUILDNO=12;", {}, environment);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(run.boxes().empty());
    EXPECT_TRUE(processes.alive(client));
    EXPECT_EQ(test::readFile(run.path("old/l.txt")), "12");
    // The current updater's table is not the legacy one's.
    EXPECT_FALSE(test::fileExists(run.path("bin/quillon.dat")));
    const auto arguments = run.clientArguments();
    ASSERT_TRUE(arguments.has_value());
    EXPECT_EQ(*arguments, Lines{"quil.psr"});
}

TEST_F(LegacyUpdaterProcess, UnreachableSourceGivesErrThenTheWebSiteBox) {
    const int status =
        run.run("qlx_upt3", "/PSR=quil.psr;/SERVER=NO_SUCH_DSN;/BUILDNO=12;", {}, environment);
    EXPECT_EQ(status, 2);
    const auto boxes = run.boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].title, "Err!");
    EXPECT_EQ(boxes[1].text, "홈페이지에서 직접 업그레이드 하세요.");
    EXPECT_NE(test::settingIn(run.path("quil.psr"), "QL_UPT_TIME"), "77");
}

} // namespace
} // namespace qlx
