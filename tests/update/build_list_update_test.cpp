#include "platform/files.h"
#include "support/packages.h"
#include "support/test_files.h"
#include "support/window_fixture.h"

#include <algorithm>
#include <filesystem>

namespace qlx {
namespace {

namespace fs = std::filesystem;

// The lines of a box's text, which breaks them with "\r\n".
std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t stop; (stop = text.find("\r\n", start)) != std::string::npos;
         start = stop + 2) {
        lines.push_back(text.substr(start, stop - start));
    }
    lines.push_back(text.substr(start));
    return lines;
}

void removeTree(const std::string& folder) {
    std::error_code error;
    fs::remove_all(folder, error);
}

class BuildListUpdate : public test::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        test::createSqliteUpdateDatabase(path("update.db"));
        writeSettings("SQLite");
    }

    void writeSettings(const std::string& dbms) {
        ASSERT_TRUE(test::writeFile(path("quil.psr"),
                                    R"({"rows":[{"CODE":"DataBase-DBMS","VALUE":")" + dbms +
                                        R"("},{"CODE":"QL_UPT_TIME","VALUE":"999"},)"
                                        R"({"CODE":"Client-Only","VALUE":"keep me","extra":1}]})"));
    }

    void add(const std::string& name, const std::string& fpath, int build,
             const std::map<std::string, std::string>& files) {
        test::addBuildPackage(path("update.db"), "QLX_UPT3", name, fpath, build,
                              test::makePackage(files));
    }

    // The settings value stored on disk for `code`.
    std::string savedSetting(const std::string& code) {
        return test::settingIn(path("quil.psr"), code);
    }

    std::string run(const std::string& extra = "/BUILDNO=2;") {
        makeWindow("/PID=1;/PSR=" + path("quil.psr") + ";/SERVER=update.db;" + extra).open();
        EXPECT_FALSE(port.closed);
        return window->uf_upgrade3(std::string());
    }
};

TEST_F(BuildListUpdate, InstallsTheInstalledBuildAndLaterOnesAndKeepsThePackages) {
    add("old", "bin", 1, {{"old.txt", "build 1"}});
    add("core", "bin", 2, {{"a.txt", "build 2"}, {"sub/b.txt", "b"}});
    add("data", std::string(), 3, {{"data.txt", "build 3"}});

    EXPECT_EQ(run(), "O");
    EXPECT_TRUE(port.boxes.empty());
    EXPECT_EQ(test::readFile(path("bin/a.txt")), "build 2");
    EXPECT_EQ(test::readFile(path("bin/sub/b.txt")), "b");
    // An empty target folder is the installation folder itself.
    EXPECT_EQ(test::readFile(path("data.txt")), "build 3");
    EXPECT_FALSE(test::fileExists(path("bin/old.txt")));
    EXPECT_TRUE(test::fileExists(path("upt/core.zip")));
    EXPECT_TRUE(test::fileExists(path("upt/data.zip")));
    EXPECT_EQ(currentFolder(), install.path());

    // Progress: 50 and 1 first, then the row count and one position per row.
    EXPECT_EQ(port.maximums, (std::vector<int>{50, 2}));
    EXPECT_EQ(port.positions, (std::vector<int>{1, 1, 2}));
    EXPECT_EQ(port.statusTag, "2");

    // The stamp is cleared on disk and the client's other rows survive.
    EXPECT_EQ(savedSetting("QL_UPT_TIME"), "");
    EXPECT_EQ(savedSetting("Client-Only"), "keep me");
}

TEST_F(BuildListUpdate, LaterBuildsWinOverEarlierOnesWhateverTheRowOrder) {
    add("b5", "bin", 5, {{"v.txt", "five"}});
    add("b3", "bin", 3, {{"v.txt", "three"}});
    EXPECT_EQ(run("/BUILDNO=3;"), "O");
    EXPECT_EQ(test::readFile(path("bin/v.txt")), "five");
}

TEST_F(BuildListUpdate, NothingToInstallStillSavesTheClearedStamp) {
    add("old", "bin", 1, {{"old.txt", "x"}});
    EXPECT_EQ(run("/BUILDNO=7;"), "O");
    EXPECT_EQ(port.progressMaximum, 50);
    EXPECT_EQ(port.progressPosition, 1);
    EXPECT_EQ(savedSetting("QL_UPT_TIME"), "");
    EXPECT_FALSE(fs::exists(path("upt")));
}

TEST_F(BuildListUpdate, MissingOrNonNumericBuildListsEverything) {
    add("zero", "z", 0, {{"z.txt", "0"}});
    for (const std::string extra : {"", "/BUILDNO=abc;", "/BUILDNO=0x10;", "/BUILDNO=inf;"}) {
        SCOPED_TRACE(extra);
        removeTree(path("z"));
        EXPECT_EQ(run(extra), "O");
        EXPECT_EQ(test::readFile(path("z/z.txt")), "0");
    }
}

TEST_F(BuildListUpdate, ABuildNumberIsANumberAndOneBeyond32BitsListsEverything) {
    add("b1", "one", 1, {{"1.txt", "1"}});
    add("b3", "three", 3, {{"3.txt", "3"}});
    for (const char* value : {"3.0", " 3.9", "3e0", "+3", "3.", "30e-1"}) {
        SCOPED_TRACE(value);
        removeTree(path("one"));
        removeTree(path("three"));
        EXPECT_EQ(run("/BUILDNO=" + std::string(value) + ";"), "O");
        EXPECT_FALSE(test::fileExists(path("one/1.txt")));
        EXPECT_TRUE(test::fileExists(path("three/3.txt")));
    }
    removeTree(path("three"));
    EXPECT_EQ(run("/BUILDNO=9999999999;"), "O");
    EXPECT_TRUE(test::fileExists(path("one/1.txt")));
    EXPECT_TRUE(test::fileExists(path("three/3.txt")));
}

TEST_F(BuildListUpdate, AnyBadPackageFailsTheRunInstallsNothingAndNamesEachOne) {
    const std::string db = path("update.db");
    test::addBuildPackage(db, "QLX_UPT3", "nullblob", "t", 2, {}, true);
    const std::string html = "<html>error</html>";
    test::addBuildPackage(db, "QLX_UPT3", "notzip", "t", 2, Bytes(html.begin(), html.end()));
    test::addBuildPackage(db, "QLX_UPT3", "../escape", "t", 2, test::makePackage({{"e.txt", "e"}}));
    add("good", "t", 2, {{"g.txt", "good"}});
    // A target below a file can be neither entered nor made.
    ASSERT_TRUE(test::writeFile(path("afile"), ""));
    add("blocked", "afile/sub", 3, {{"b.txt", "b"}});

    EXPECT_EQ(run(), "X");

    // One box, after the whole list was tried; a NULL package is no failure.
    ASSERT_EQ(port.boxes.size(), 1u);
    EXPECT_EQ(port.boxes[0].title, "Err!");
    const std::string& text = port.boxes[0].text;
    const std::vector<std::string> lines = linesOf(text);
    ASSERT_EQ(lines.size(), 3u) << text;
    EXPECT_TRUE(lines[0].starts_with("notzip.zip: 압축 파일이 아닙니다")) << text;
    EXPECT_TRUE(lines[1].starts_with("../escape.zip: ")) << text;
    EXPECT_TRUE(lines[2].starts_with("blocked.zip: 설치 폴더를 만들 수 없습니다")) << text;
    // Nothing of the run is installed and nothing of it is left, but the
    // packages that were written.
    EXPECT_FALSE(test::fileExists(path("t/g.txt")));
    EXPECT_FALSE(test::fileExists(path("b.txt")));
    EXPECT_TRUE(test::namesIn(path("t")).empty());
    EXPECT_EQ(test::namesIn(path("upt")),
              (std::vector<std::string>{"blocked.zip", "good.zip", "notzip.zip"}));
    EXPECT_FALSE(test::fileExists(path("escape.zip")));
}

TEST_F(BuildListUpdate, OneNameInTwoBuildsInstallsEachBuildsOwnPackage) {
    add("core", "bin", 12, {{"v.txt", "12"}, {"only12.txt", "a"}});
    add("core", "bin", 13, {{"v.txt", "13"}});
    EXPECT_EQ(run("/BUILDNO=12;"), "O");
    EXPECT_TRUE(port.boxes.empty());
    EXPECT_EQ(test::readFile(path("bin/v.txt")), "13");
    EXPECT_EQ(test::readFile(path("bin/only12.txt")), "a");
}

TEST_F(BuildListUpdate, UnreachableDatabaseStampsTheSettingsAndAnswersX) {
    ASSERT_TRUE(removeFile(path("update.db")));
    now = LocalTime{2010, 1, 2, 0, 5, 59};
    EXPECT_EQ(run(), "X");
    ASSERT_EQ(port.boxes.size(), 1u);
    EXPECT_EQ(port.boxes[0].title, "Err!");
    EXPECT_TRUE(port.boxes[0].text.starts_with("-1/")) << port.boxes[0].text;
    EXPECT_EQ(savedSetting("QL_UPT_TIME"), "1445");
}

TEST_F(BuildListUpdate, UnreachableDatabaseWithoutPsrSavesQuilPsrHere) {
    ASSERT_TRUE(removeFile(path("update.db")));
    now = LocalTime{2026, 12, 8, 23, 59, 0};
    makeWindow("/PID=1;/PSR=  ;/SERVER=update.db;").open();
    EXPECT_EQ(window->uf_upgrade3(std::string()), "X");
    // quil.psr in the current folder is the file start-up read the settings
    // from. 6185 days lie between the two dates, four leap days among them.
    EXPECT_EQ(savedSetting("QL_UPT_TIME"), std::to_string(6185 * 1440 + 23 * 60 + 59));
    EXPECT_EQ(savedSetting("Client-Only"), "keep me");
}

} // namespace
} // namespace qlx
