// The real updater over a real SQLite database, where an update goes wrong:
// a bad package, a full disk, a kill at any moment. The installation is the
// old build or the new one, never a mix of broken files, and nothing the
// client has is lost.
#include "libs/ezip/tree.h"
#include "support/packages.h"
#include "support/test_files.h"
#include "support/updater_run.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <sys/mount.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace qlx {
namespace {

std::string argumentsFor(const std::string& database) {
    return "/PID=1;/PSR=quil.psr;/SERVER=" + database + ";/BUILDNO=12;";
}

std::string randomBytes(int size) {
    std::string bytes(static_cast<std::size_t>(size), '\0');
    std::mt19937 generator(static_cast<std::uint32_t>(size));
    std::uniform_int_distribution<int> byte(0, 255);
    for (char& c : bytes) {
        c = static_cast<char>(byte(generator));
    }
    return bytes;
}

// Every file and folder below `folder` with its permissions and a digest of
// its content, which keeps a failure's message readable.
std::map<std::string, std::string> treeOf(const std::string& folder) {
    std::map<std::string, std::string> tree;
    for (const auto& [name, content] : ezip_test::snapshot(fs::path(folder))) {
        const auto colon = content.find(':');
        tree[name] = content == "folder" || colon == std::string::npos
                         ? content
                         : content.substr(0, colon) + ":" + std::to_string(content.size()) + ":" +
                               std::to_string(std::hash<std::string>{}(content));
    }
    return tree;
}

// Build 11 installed in the folder of `run`: a client, its settings and two
// files of its own.
void layOutBuild11(test::UpdaterRun& run) {
    run.installStandInClient();
    ASSERT_TRUE(test::writeFile(run.path("bin/v.txt"), "build 11"));
    ASSERT_TRUE(test::writeFile(run.path("bin/kept.dat"), "the client's own"));
    fs::permissions(run.path("bin/v.txt"), fs::perms::owner_all);
    ASSERT_TRUE(test::writeFile(run.path("quil.psr"),
                                R"({"rows":[{"CODE":"DataBase-DBMS","VALUE":"SQLite"},)"
                                R"({"CODE":"QL_UPT_TIME","VALUE":"77"}]})"));
}

std::string stampIn(const test::UpdaterRun& run) {
    return test::settingIn(run.path("quil.psr"), "QL_UPT_TIME");
}

// The installation without the package folder, which keeps the packages
// written, without the client's record of its start and the updaters' lock.
std::map<std::string, std::string> installationIn(const test::UpdaterRun& run) {
    std::map<std::string, std::string> tree = treeOf(run.folder());
    std::erase_if(tree, [](const auto& entry) {
        return entry.first.starts_with("upt") || entry.first.starts_with("client-args.txt") ||
               entry.first == ".qlx_upt.lock";
    });
    return tree;
}

// Builds 12 and 13 bring a few MB each: the same package name in both
// builds, a new folder, and a file that both replace.
class AllOrNothing : public ::testing::Test {
protected:
    void SetUp() override {
        layOutBuild11(run);
        db = database.filePath("update.db");
        test::createSqliteUpdateDatabase(db);
        add("core", "bin", 12, {{"v.txt", "build 12"}, {"core12.bin", randomBytes(3 << 20)}});
        add("core", "bin", 13, {{"v.txt", "build 13"}, {"core13.bin", randomBytes(3 << 20)}});
        add("data", "bin/data/new", 13, {{"d.bin", randomBytes(2 << 20)}, {"v.txt", "data 13"}});
        before = installationIn(run);
    }

    void add(const std::string& name, const std::string& fpath, int build,
             const std::map<std::string, std::string>& files) {
        test::addBuildPackage(db, "QLX_UPT3", name, fpath, build, test::makePackage(files));
    }
    int update(test::UpdaterRun& in) { return in.run("qlx_upt", argumentsFor(db)); }
    static void expectTheBoxesOfAFailedUpdate(const test::UpdaterRun& in,
                                              const std::string& failure) {
        const auto boxes = in.boxes();
        ASSERT_EQ(boxes.size(), 2u);
        EXPECT_EQ(boxes[0].title, "Err!");
        EXPECT_NE(boxes[0].text.find(failure), std::string::npos) << boxes[0].text;
        EXPECT_EQ(boxes[1].title, "에러!");
        EXPECT_EQ(boxes[1].text, "홈페이지에서 직접 업그레이드 하세요.");
        EXPECT_FALSE(in.clientArguments(300).has_value());
    }

    test::UpdaterRun run;
    test::TempDir database;
    std::string db;
    std::map<std::string, std::string> before;
};

TEST_F(AllOrNothing, OneBadPackageInstallsNothingOfTheRunAndSaysWhich) {
    const std::string notAZip = "<html>502 Bad Gateway</html>";
    test::addBuildPackage(db, "QLX_UPT3", "broken", "bin", 13,
                          Bytes(notAZip.begin(), notAZip.end()));

    EXPECT_EQ(update(run), 4);

    expectTheBoxesOfAFailedUpdate(run, "broken.zip: 압축 파일이 아닙니다");
    // The database was reached, which is what the stamp records; nothing else
    // of the installation changed.
    EXPECT_EQ(stampIn(run), "");
    std::map<std::string, std::string> after = installationIn(run);
    after.erase("quil.psr");
    before.erase("quil.psr");
    EXPECT_EQ(after, before);
    EXPECT_TRUE(test::fileExists(run.path("upt/core.zip")));
}

TEST_F(AllOrNothing, AFullDiskKeepsTheSettingsByteForByteAndTheOldBuild) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "mounting a small file system needs root";
    }
    test::UpdaterRun full;
    const std::string& target = full.folder();
    ASSERT_EQ(mount("qlx-full", target.c_str(), "tmpfs", 0, "size=1m"), 0) << strerror(errno);
    const std::unique_ptr<const char, void (*)(const char*)> unmount(
        target.c_str(), [](const char* path) { umount2(path, MNT_DETACH); });
    layOutBuild11(full);
    const std::string settings = test::readFile(full.path("quil.psr"));
    // Fills every block that is left.
    std::system(
        ("dd if=/dev/zero of=" + ezip_test::shellQuoted(target + "/fill") + " bs=4k 2>/dev/null")
            .c_str());
    const std::map<std::string, std::string> old = installationIn(full);

    EXPECT_EQ(update(full), 4);

    // The settings could not be saved either, and the user is told so.
    const auto boxes = full.boxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_NE(boxes[0].text.find("core.zip: "), std::string::npos) << boxes[0].text;
    EXPECT_NE(boxes[1].text.find("설정 파일을 저장하지 못했습니다"), std::string::npos);
    EXPECT_EQ(boxes[2].title, "에러!");
    EXPECT_EQ(test::readFile(full.path("quil.psr")), settings);
    EXPECT_EQ(installationIn(full), old);
}

// A kill lands right before the n-th call of one system call: while a
// package is written or staged, at each step of the journal, between the
// moves into place, and while the run is cleaned up.
struct Kill {
    const char* syscall;
    int n;
};

TEST_F(AllOrNothing, AKillAtAnyMomentLeavesTheOldOrTheNewBuildAndTheNextStartFinishes) {
    // What a whole update makes of the installation.
    ASSERT_EQ(update(run), 0);
    ASSERT_TRUE(run.boxes().empty());
    const std::map<std::string, std::string> updated = installationIn(run);
    ASSERT_EQ(test::readFile(run.path("bin/v.txt")), "build 13");
    ASSERT_EQ(test::readFile(run.path("bin/data/new/v.txt")), "data 13");
    const std::set<std::string> packages = {"upt/", "upt/core.zip", "upt/data.zip"};

    const std::vector<Kill> kills = {
        {"write", 40},    {"write", 400},   {"mkdir", 2},  {"fdatasync", 2}, {"fdatasync", 4},
        {"fdatasync", 6}, {"syncfs", 1},    {"rename", 2}, {"rename", 3},    {"rename", 4},
        {"rename", 5},    {"rename", 6},    {"rename", 7}, {"link", 1},      {"link", 2},
        {"syncfs", 2},    {"fdatasync", 9}, {"unlink", 2}, {"rmdir", 2},
    };
    int interrupted = 0;
    for (const Kill& kill : kills) {
        SCOPED_TRACE(std::string(kill.syscall) + " #" + std::to_string(kill.n));
        test::UpdaterRun attempt;
        layOutBuild11(attempt);
        const std::string syscall = kill.syscall;
        attempt.setLauncher({"strace", "-f", "-qq", "-o", "/dev/null", "-e", "trace=" + syscall,
                             "-e",
                             "inject=" + syscall + ":signal=KILL:when=" + std::to_string(kill.n)});
        const int status = update(attempt);
        const bool killed = !attempt.clientArguments(0).has_value();
        interrupted += killed ? 1 : 0;
        EXPECT_TRUE(killed || status == 0) << status;

        // Every file is the old one or the new one, whole.
        const std::map<std::string, std::string> now = installationIn(attempt);
        for (const auto& [name, content] : now) {
            const bool old = before.count(name) != 0 && before.at(name) == content;
            const bool fresh = updated.count(name) != 0 && updated.at(name) == content;
            EXPECT_TRUE(old || fresh || name.find(".ezip-staging-") != std::string::npos) << name;
        }
        for (const auto& [name, content] : before) {
            EXPECT_TRUE(now.count(name) != 0 || updated.count(name) == 0) << name << " is lost";
        }
        EXPECT_TRUE(stampIn(attempt) == "77" || stampIn(attempt).empty());

        // The next start settles what the killed one left, and updates.
        attempt.setLauncher({});
        EXPECT_EQ(update(attempt), 0);
        EXPECT_TRUE(attempt.boxes().empty());
        EXPECT_EQ(installationIn(attempt), updated);
        std::set<std::string> upt;
        for (const auto& entry : treeOf(attempt.folder())) {
            if (entry.first.starts_with("upt")) {
                upt.insert(entry.first);
            }
        }
        EXPECT_EQ(upt, packages);
    }
    // Most moments fall inside the update; a count past the last call lets
    // the run end normally, which must hold as well.
    EXPECT_GT(interrupted, static_cast<int>(kills.size()) / 2);
}

} // namespace
} // namespace qlx
