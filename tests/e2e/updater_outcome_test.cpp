// The real updater over real SQLite files, broken where things break.
#include "libs/ezip/tree.h"
#include "support/packages.h"
#include "support/test_files.h"
#include "support/updater_run.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

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
    static int update(test::UpdaterRun& in) {
        return in.run("qlx_upt", "/PID=1;/PSR=quil.psr;/SERVER=update.db;/BUILDNO=12;");
    }

    test::UpdaterRun run;
    std::string db;
};

// Each end of a run, its exit status and what its first box says.
TEST_F(UpdaterOutcome, EachEndHasItsStatusAndNamesItsCause) {
    struct End {
        std::string breakage;
        std::string arguments;
        int status;
        std::string said;
    };
    const std::vector<End> ends = {
        {"", "", 1, "정상적인 업그레이드 방식이 아닙니다."},
        {"", "/SERVER=no-such.db;/BUILDNO=12;", 2, "/"},
        {"DROP TABLE QLX_UPT3", "/SERVER=update.db;/BUILDNO=12;", 4, "no such table"},
        {"INSERT INTO QLX_UPT3 SELECT * FROM QLX_UPT3 WHERE BUILDNO = 13",
         "/SERVER=update.db;/BUILDNO=12;", 4,
         "core.zip: 같은 이름의 패키지가 두 번 있습니다 (빌드 13)"},
        {"UPDATE QLX_UPT3 SET eFILE = 42 WHERE BUILDNO = 13", "/SERVER=update.db;/BUILDNO=12;", 4,
         "core.zip: 데이터베이스에서 패키지를 읽을 수 없습니다: "},
        // An empty list the database really returned is a good update.
        {"", "/SERVER=update.db;/BUILDNO=99;", 0, ""},
    };
    for (const End& end : ends) {
        SCOPED_TRACE(end.breakage + end.arguments);
        test::UpdaterRun attempt;
        layOut(attempt);
        if (!end.breakage.empty()) {
            test::runSql(db, end.breakage);
        }
        const std::string arguments = end.arguments.empty() ? "" : "/PSR=quil.psr;" + end.arguments;
        EXPECT_EQ(attempt.run("qlx_upt", arguments), end.status);
        const auto boxes = attempt.boxes();
        ASSERT_EQ(boxes.empty(), end.said.empty());
        if (!boxes.empty()) {
            EXPECT_TRUE(contains(boxes[0].text, end.said)) << boxes[0].text;
            EXPECT_FALSE(contains(boxes[0].text, "압축 파일이 아닙니다")) << boxes[0].text;
        }
        EXPECT_EQ(attempt.clientArguments(300).has_value(), end.status == 0);
        EXPECT_EQ(test::readFile(attempt.path("bin/v.txt")), "build 11");
    }
}

// Every file is in place, and then the disk fails (in the flush after the
// moves, or while the staging folders go) or the settings cannot be saved.
TEST_F(UpdaterOutcome, AFailureOnceTheFilesAreInPlaceIsToldAsAWarning) {
    const std::string onDisk = "새 빌드는 모두 설치되었지만 디스크가 오류를 보고했습니다";
    const std::string onSettings = "설정 파일을 저장하지 못했습니다.\r\nquil.psr: ";
    const std::vector<std::pair<std::string, std::string>> failures = {
        {"syncfs:error=EIO:when=2", onDisk},
        {"rmdir:error=EIO", onDisk},
        {"chmod 0444", onSettings},
        {"chattr +i", onSettings}, // root is refused only by this
    };
    for (const auto& [failure, said] : failures) {
        SCOPED_TRACE(failure);
        test::UpdaterRun attempt;
        layOut(attempt);
        const std::string psr = ezip_test::shellQuoted(attempt.path("quil.psr"));
        if (failure.find(' ') != std::string::npos) {
            ASSERT_EQ(std::system((failure + " " + psr).c_str()), 0);
        } else {
            const std::string call = failure.substr(0, failure.find(':'));
            attempt.setLauncher({"strace", "-f", "-qq", "-o", "/dev/null", "-e", "trace=" + call,
                                 "-e", "inject=" + failure});
        }
        EXPECT_EQ(update(attempt), 5);
        std::system(("chattr -i " + psr + " 2>/dev/null").c_str());

        const auto boxes = attempt.boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_TRUE(contains(boxes[0].text, said)) << boxes[0].text;
        EXPECT_EQ(test::readFile(attempt.path("bin/v.txt")), "build 13");
        EXPECT_TRUE(attempt.clientArguments().has_value());
        if (said == onSettings) {
            EXPECT_EQ(test::readFile(attempt.path("quil.psr")), kSettings);
            continue;
        }
        // The next start removes what is left, and updates.
        attempt.setLauncher({});
        EXPECT_EQ(update(attempt), 0);
        EXPECT_NE(std::system(("find " + ezip_test::shellQuoted(attempt.folder()) +
                               " -name '.ezip-staging-*' -o -name '.qlx_upt.run*' | grep -q .")
                                  .c_str()),
                  0);
        EXPECT_EQ(test::readFile(attempt.path("bin/c.txt")), "13");
    }
}

// A double click: two updaters of one installation in the same instant. The
// holder keeps the lock a while longer, so that the other surely reaches it
// while it is held, however busy the machine.
TEST_F(UpdaterOutcome, OfTwoUpdatersStartedTogetherExactlyOneRuns) {
    const std::string together =
        R"(d=$1; shift
           held() { strace -qq -o /dev/null -e trace=flock \
                    -e inject=flock:delay_exit=3000000 "$@"; }
           (held "$@"; echo $? > "$d/first") & (held "$@"; echo $? > "$d/second") & wait)";
    for (int attempt = 0; attempt < 20; ++attempt) {
        SCOPED_TRACE(attempt);
        test::UpdaterRun both;
        layOut(both);
        both.setLauncher({"bash", "-c", together, "bash", both.folder()});

        ASSERT_EQ(update(both), 0);

        EXPECT_EQ(test::readFile(both.path("first")) + test::readFile(both.path("second")) ==
                          "0\n1\n" ||
                      test::readFile(both.path("second")) + test::readFile(both.path("first")) ==
                          "0\n1\n",
                  true);
        const auto boxes = both.boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].title, "확인! [02]");
        EXPECT_EQ(test::readFile(both.path("bin/v.txt")), "build 13");
    }
}

// A Quillon program of another user, as on a terminal server: the updater
// run by an administrator neither counts nor ends it.
TEST_F(UpdaterOutcome, AnotherUsersQuillonIsLeftAlone) {
    test::TempDir programs;
    ::chmod(programs.path().c_str(), 0755);
    const std::string quillon = ezip_test::shellQuoted(programs.filePath("quillon"));
    const std::string theirs = "pgrep -u nobody -x quillon >/dev/null";
    ASSERT_EQ(std::system(("cp /bin/sleep " + quillon + " && (runuser -u nobody -- " + quillon +
                           " 60 >/dev/null 2>&1 &) && for i in $(seq 100); do " + theirs +
                           " && break; sleep 0.1; done && " + theirs)
                              .c_str()),
              0);

    EXPECT_EQ(update(run), 0);

    EXPECT_EQ(run.boxes().size(), 0u);
    EXPECT_EQ(std::system(theirs.c_str()), 0) << "another user's program was ended";
    std::system("kill $(pgrep -u nobody -x quillon)");
}

} // namespace
} // namespace qlx
