// The real updater over real SQLite files, told what went wrong where it
// goes wrong: each end of a run has its exit status and its words, nothing
// failed looks done, and nothing of a run is left behind for ever.
#include "libs/ezip/tree.h"
#include "support/packages.h"
#include "support/test_files.h"
#include "support/updater_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace qlx {
namespace {

const std::string kSettings = R"({"rows":[{"CODE":"DataBase-DBMS","VALUE":"SQLite"},)"
                              R"({"CODE":"QL_UPT_TIME","VALUE":"77"}]})";

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Build 11 installed, and builds 12 and 13 in the update database.
class UpdaterOutcome : public ::testing::Test {
protected:
    void SetUp() override { layOut(run); }

    void layOut(test::UpdaterRun& in) {
        in.installStandInClient();
        ASSERT_TRUE(test::writeFile(in.path("bin/v.txt"), "build 11"));
        ASSERT_TRUE(test::writeFile(in.path("quil.psr"), kSettings));
        db = in.path("update.db");
        test::createSqliteUpdateDatabase(db);
        test::addBuildPackage(db, "QLX_UPT3", "core", "bin", 12,
                              test::makePackage({{"v.txt", "build 12"}}));
        test::addBuildPackage(db, "QLX_UPT3", "core", "bin", 13,
                              test::makePackage({{"v.txt", "build 13"}, {"c.txt", "13"}}));
    }
    static int update(test::UpdaterRun& in, const std::string& server = "update.db") {
        return in.run("qlx_upt", "/PID=1;/PSR=quil.psr;/SERVER=" + server + ";/BUILDNO=12;");
    }
    // Staging folders and journals anywhere in the installation.
    static std::vector<std::string> leftovers(const test::UpdaterRun& in) {
        std::vector<std::string> found;
        for (const auto& entry : fs::recursive_directory_iterator(in.folder())) {
            const std::string name = entry.path().filename().string();
            if (contains(name, ".ezip-staging-") || contains(name, ".qlx_upt.run")) {
                found.push_back(entry.path().string());
            }
        }
        return found;
    }

    test::UpdaterRun run;
    std::string db;
};

TEST_F(UpdaterOutcome, EachEndOfARunHasItsOwnExitStatus) {
    test::UpdaterRun refused;
    EXPECT_EQ(refused.run("qlx_upt", ""), 1);

    test::UpdaterRun unreachable;
    layOut(unreachable);
    EXPECT_EQ(update(unreachable, "no-such.db"), 2);

    // An empty list the database really returned is a good update.
    test::UpdaterRun empty;
    layOut(empty);
    EXPECT_EQ(empty.run("qlx_upt", "/PID=1;/PSR=quil.psr;/SERVER=update.db;/BUILDNO=99;"), 0);
    EXPECT_TRUE(empty.clientArguments().has_value());

    EXPECT_EQ(update(run), 0);
    EXPECT_EQ(test::readFile(run.path("bin/v.txt")), "build 13");
}

TEST_F(UpdaterOutcome, AFileListThatCannotBeReadIsAFailureWithTheDriversWords) {
    test::runSql(db, "DROP TABLE QLX_UPT3");

    EXPECT_EQ(update(run), 4);

    const auto boxes = run.boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].title, "Err!");
    EXPECT_TRUE(contains(boxes[0].text, "no such table")) << boxes[0].text;
    EXPECT_EQ(boxes[1].title, "에러!");
    EXPECT_FALSE(run.clientArguments(300).has_value());
    // The database was reached.
    EXPECT_EQ(test::settingIn(run.path("quil.psr"), "QL_UPT_TIME"), "");
}

TEST_F(UpdaterOutcome, AFailedPackageNamesItsCause) {
    test::addBuildPackage(db, "QLX_UPT3", "core", "bin", 13, test::makePackage({{"x", "x"}}));
    test::addBuildPackage(db, "QLX_UPT3", "data", "bin", 13, test::makePackage({{"d", "d"}}));
    test::runSql(db, "UPDATE QLX_UPT3 SET eFILE = 42 WHERE FILENAME = 'data'");

    EXPECT_EQ(update(run), 4);

    const auto boxes = run.boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_TRUE(contains(boxes[0].text, "core.zip: 같은 이름의 패키지가 두 번 있습니다 (빌드 13)"))
        << boxes[0].text;
    EXPECT_TRUE(contains(boxes[0].text, "data.zip: 데이터베이스에서 패키지를 읽을 수 없습니다: "))
        << boxes[0].text;
    EXPECT_FALSE(contains(boxes[0].text, "압축 파일이 아닙니다")) << boxes[0].text;
    EXPECT_EQ(test::readFile(run.path("bin/v.txt")), "build 11");
}

// The disk fails only once every file is in place: in the flush after the
// moves, or while the staging folders are removed.
TEST_F(UpdaterOutcome, ADiskErrorAfterTheMovesIsToldAsInstalledAndTheNextStartCleansUp) {
    for (const std::string inject : {"syncfs:error=EIO:when=2", "rmdir:error=EIO"}) {
        SCOPED_TRACE(inject);
        test::UpdaterRun attempt;
        layOut(attempt);
        const std::string call = inject.substr(0, inject.find(':'));
        attempt.setLauncher({"strace", "-f", "-qq", "-o", "/dev/null", "-e", "trace=" + call, "-e",
                             "inject=" + inject});

        EXPECT_EQ(update(attempt), 5);

        const auto boxes = attempt.boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_TRUE(
            contains(boxes[0].text, "새 빌드는 모두 설치되었지만 디스크가 오류를 보고했습니다"))
            << boxes[0].text;
        EXPECT_EQ(test::readFile(attempt.path("bin/v.txt")), "build 13");
        EXPECT_TRUE(attempt.clientArguments().has_value());

        attempt.setLauncher({});
        EXPECT_EQ(update(attempt), 0);
        EXPECT_EQ(attempt.boxes().size(), 1u);
        EXPECT_EQ(leftovers(attempt), std::vector<std::string>{});
        EXPECT_EQ(test::readFile(attempt.path("bin/c.txt")), "13");
    }
}

TEST_F(UpdaterOutcome, SettingsThatCannotBeSavedAreToldAndTheFilesStayInstalled) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "an immutable file needs root";
    }
    for (const std::string how : {"read-only", "immutable"}) {
        SCOPED_TRACE(how);
        test::UpdaterRun attempt;
        layOut(attempt);
        const std::string psr = attempt.path("quil.psr");
        const std::string mark = how == "read-only" ? "chmod 0444 " : "chattr +i ";
        ASSERT_EQ(std::system((mark + ezip_test::shellQuoted(psr)).c_str()), 0);

        const int status = update(attempt);
        std::system(("chattr -i " + ezip_test::shellQuoted(psr)).c_str());

        EXPECT_EQ(status, 5);
        const auto boxes = attempt.boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_TRUE(contains(boxes[0].text, "설정 파일을 저장하지 못했습니다.\r\nquil.psr: "))
            << boxes[0].text;
        EXPECT_EQ(test::readFile(psr), kSettings);
        EXPECT_EQ(test::readFile(attempt.path("bin/v.txt")), "build 13");
        EXPECT_TRUE(attempt.clientArguments().has_value());
    }
}

// A double click: two updaters of one installation in the same instant. Each
// one's exit is held back a little, so that the lock stays taken until the
// other has surely reached it, however busy the machine.
TEST_F(UpdaterOutcome, OfTwoUpdatersStartedTogetherExactlyOneRuns) {
    const std::string together =
        R"(d=$1; shift
           held() { strace -qq -o /dev/null -e trace=exit_group \
                    -e inject=exit_group:delay_enter=1500000 "$@"; }
           (held "$@"; echo $? > "$d/first") & (held "$@"; echo $? > "$d/second") & wait)";
    for (int attempt = 0; attempt < 20; ++attempt) {
        SCOPED_TRACE(attempt);
        test::UpdaterRun both;
        layOut(both);
        both.setLauncher({"bash", "-c", together, "bash", both.folder()});

        ASSERT_EQ(update(both), 0);

        std::vector<std::string> statuses = {test::readFile(both.path("first")),
                                             test::readFile(both.path("second"))};
        std::sort(statuses.begin(), statuses.end());
        EXPECT_EQ(statuses, (std::vector<std::string>{"0\n", "1\n"}));
        const auto boxes = both.boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].title, "확인! [02]");
        EXPECT_EQ(test::readFile(both.path("bin/v.txt")), "build 13");
    }
}

// A Quillon program of another user, as on a terminal server: the updater
// run by an administrator neither counts nor ends it.
TEST_F(UpdaterOutcome, AnotherUsersQuillonIsLeftAlone) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "starting a program as another user needs root";
    }
    test::TempDir programs;
    const std::string quillon = programs.filePath("quillon");
    fs::copy_file("/bin/sleep", quillon);
    ::chmod(programs.path().c_str(), 0755);
    const pid_t runuser = fork();
    if (runuser == 0) {
        execl("/usr/sbin/runuser", "runuser", "-u", "nobody", "--", quillon.c_str(), "60",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    // Its own process: the one named quillon, of nobody.
    pid_t theirs = 0;
    for (int waited = 0; theirs == 0 && waited < 5000; waited += 20) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        for (const auto& entry : fs::directory_iterator("/proc")) {
            std::error_code error;
            if (fs::read_symlink(entry.path() / "exe", error) == fs::path(quillon)) {
                theirs = static_cast<pid_t>(std::stoi(entry.path().filename().string()));
            }
        }
    }
    ASSERT_NE(theirs, 0);

    EXPECT_EQ(update(run), 0);

    EXPECT_EQ(run.boxes().size(), 0u);
    EXPECT_EQ(::kill(theirs, 0), 0) << "another user's program was ended";
    ::kill(theirs, SIGKILL);
    ::waitpid(runuser, nullptr, 0);
}

} // namespace
} // namespace qlx
