// The FTP update against a real pyftpdlib server and against servers that
// fail in one way each.

#include "platform/outside_library.h"
#include "support/ftp_server.h"
#include "support/packages.h"
#include "support/test_files.h"
#include "support/window_fixture.h"
#include "update/ftp_client.h"

#include <chrono>
#include <filesystem>

namespace qlx {
namespace {

namespace fs = std::filesystem;
using test::FtpServer;

const std::string kConnectTitle = "접속";
const std::string kDownloadTitle = "ini";
const std::string kDownloadText = "서버로부터 업그레이드 파일 가져오기 실패했습니다.";

std::string textOf(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

std::vector<int> steps(int last) {
    std::vector<int> out;
    for (int i = 1; i <= last; ++i) {
        out.push_back(i);
    }
    return out;
}

// The names in `folder`, joined by blanks, for failure messages.
std::string listing(const std::string& folder) {
    std::string names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        names += entry.path().filename().string() + " ";
    }
    return names;
}

bool isEmptyFolder(const std::string& folder) {
    std::error_code error;
    return fs::is_directory(folder, error) && fs::is_empty(folder, error);
}

class FtpUpdate : public test::WindowFixture {
protected:
    static void SetUpTestSuite() {
        // Short time-outs, so that a server that never answers fails within
        // seconds. The adapter loads the same library file, so the setting
        // reaches the instance the update uses; the handle is kept for the
        // whole run so the library is never unloaded in between.
        static OutsideLibrary library("ftp");
        using SetTimeouts = short (*)(short, short, short);
        reinterpret_cast<SetTimeouts>(library.entry("FTPsetTimeouts"))(2, 2, 2);
    }

    void SetUp() override {
        WindowFixture::SetUp();
        ASSERT_TRUE(home.isValid());
        std::error_code error;
        ASSERT_TRUE(fs::create_directory(home.filePath("Quillon_Down"), error));
    }
    void TearDown() override {
        WindowFixture::TearDown();
        server.reset();
    }

    void startReal() {
        server = FtpServer::startReal(home.path());
        ASSERT_NE(server, nullptr);
        ftpServer = server->address();
    }
    void startMisbehaving(const std::string& mode) {
        server = FtpServer::startMisbehaving(mode);
        ASSERT_NE(server, nullptr);
        ftpServer = server->address();
    }
    void publish(const std::string& name, const std::string& content) {
        ASSERT_TRUE(test::writeFile(home.filePath("Quillon_Down/" + name), content));
    }
    void makeTmp() {
        std::error_code error;
        fs::create_directories(path("tmp"), error);
        ASSERT_TRUE(fs::is_directory(path("tmp")));
    }

    std::string run(const std::string& fields) {
        port.boxes.clear();
        port.positions.clear();
        makeWindow("/PID=1;" + fields).open();
        EXPECT_FALSE(port.closed);
        EXPECT_TRUE(port.boxes.empty());
        return window->uf_upgrade(std::string());
    }

    void expectOnlyBox(const std::string& title, const std::string& text) {
        ASSERT_EQ(port.boxes.size(), 1u) << (server ? server->errorOutput() : "");
        EXPECT_EQ(port.boxes[0].title, title);
        EXPECT_EQ(port.boxes[0].text, text);
    }

    // The library's one connection is closed: even the server's root, which
    // every login can enter, cannot be entered any more.
    static void expectDisconnected() { EXPECT_NE(ftpsetcurrentdir("/"), 0L); }

    test::TempDir home;
    std::unique_ptr<FtpServer> server;
};

TEST_F(FtpUpdate, DownloadsExtractsAndCleansUp) {
    startReal();
    publish("pkg.zip", textOf(test::makePackage({{"a.txt", "ftp"}, {"sub/b.txt", "b"}})));
    makeTmp();
    ASSERT_TRUE(test::writeFile(path("tmp/quillon.ini"), "[old]"));
    ASSERT_TRUE(test::writeFile(path("tmp/keep.txt"), "keep"));

    EXPECT_EQ(run("/FILE=pkg.zip;"), "O");
    EXPECT_TRUE(port.boxes.empty()) << port.boxes[0].text;
    EXPECT_EQ(port.positions, steps(7));
    EXPECT_EQ(test::readFile(path("a.txt")), "ftp");
    EXPECT_EQ(test::readFile(path("sub/b.txt")), "b");
    EXPECT_FALSE(fs::exists(path("tmp/pkg.zip")));
    EXPECT_FALSE(fs::exists(path("tmp/quillon.ini")));
    EXPECT_EQ(test::readFile(path("tmp/keep.txt")), "keep");
    expectDisconnected();
}

TEST_F(FtpUpdate, SucceedsWithoutAQuillonIniAndReplacesAStaleCopy) {
    startReal();
    publish("pkg.zip", textOf(test::makePackage({{"a.txt", "fresh"}})));
    makeTmp();
    ASSERT_TRUE(
        test::writeFile(path("tmp/pkg.zip"), textOf(test::makePackage({{"a.txt", "stale"}}))));

    EXPECT_EQ(run("/FILE=pkg.zip;"), "O");
    EXPECT_TRUE(port.boxes.empty());
    EXPECT_EQ(test::readFile(path("a.txt")), "fresh");
    EXPECT_TRUE(isEmptyFolder(path("tmp")));
}

TEST_F(FtpUpdate, AMissingTmpFolderIsNotCreatedAndTheDownloadFails) {
    startReal();
    publish("pkg.zip", textOf(test::makePackage({{"a.txt", "x"}})));
    EXPECT_EQ(run("/FILE=pkg.zip;"), "X");
    expectOnlyBox(kDownloadTitle, kDownloadText);
    EXPECT_EQ(port.positions, steps(4));
    EXPECT_FALSE(fs::exists(path("tmp")));
    EXPECT_FALSE(fs::exists(path("a.txt")));
    expectDisconnected();
}

// The stale copy goes before the download, so a failed download leaves none.
TEST_F(FtpUpdate, AStaleCopyIsDeletedEvenWhenTheRemoteFileIsMissing) {
    startReal();
    makeTmp();
    ASSERT_TRUE(
        test::writeFile(path("tmp/pkg.zip"), textOf(test::makePackage({{"a.txt", "stale"}}))));
    EXPECT_EQ(run("/FILE=pkg.zip;"), "X");
    expectOnlyBox(kDownloadTitle, kDownloadText);
    EXPECT_FALSE(fs::exists(path("tmp/pkg.zip")));
    EXPECT_FALSE(fs::exists(path("a.txt")));
    expectDisconnected();
}

TEST_F(FtpUpdate, ARefusedLoginStopsAtTheConnection) {
    startMisbehaving("reject");
    makeTmp();
    EXPECT_EQ(run("/FILE=pkg.zip;"), "X");
    expectOnlyBox(kConnectTitle, "서버에 접속중 에러 발생.");
    EXPECT_EQ(port.positions, steps(2));
    EXPECT_TRUE(isEmptyFolder(path("tmp")));
}

TEST_F(FtpUpdate, AMissingServerFolderStopsAfterTheLogin) {
    startReal();
    std::error_code error;
    ASSERT_GT(fs::remove_all(home.filePath("Quillon_Down"), error), 0u);
    makeTmp();
    EXPECT_EQ(run("/FILE=pkg.zip;"), "X");
    expectOnlyBox(kConnectTitle, "서버에 폴더 변경중 에러발생");
    EXPECT_EQ(port.positions, steps(3));
    expectDisconnected();
}

TEST_F(FtpUpdate, APackageThatFailsToExtractStaysInTmp) {
    startReal();
    publish("pkg.zip", "<html>not a package</html>");
    makeTmp();
    ASSERT_TRUE(test::writeFile(path("tmp/quillon.ini"), "[old]"));
    EXPECT_EQ(run("/FILE=pkg.zip;"), "X");
    expectOnlyBox("확인!", "업그레이중 오류가 있습니다. \r\n본사에 문의하세요.");
    EXPECT_EQ(port.positions, steps(5));
    EXPECT_EQ(test::readFile(path("tmp/pkg.zip")), "<html>not a package</html>");
    EXPECT_EQ(test::readFile(path("tmp/quillon.ini")), "[old]");
    expectDisconnected();
}

// Each server breaks off in its own way; the update reports it within the
// library's time-outs and leaves no package file behind.
TEST_F(FtpUpdate, ABrokenServerIsReportedWithinTheTimeOut) {
    struct Case {
        const char* mode;
        std::string title;
        std::string text;
        int lastStep;
    };
    const std::vector<Case> cases = {
        {"silent", kConnectTitle, "서버에 접속중 에러 발생.", 2},
        {"stall", kDownloadTitle, kDownloadText, 4},
        {"mute", kDownloadTitle, kDownloadText, 4},
        {"close", kDownloadTitle, kDownloadText, 4},
        {"wrong-size", kDownloadTitle, kDownloadText, 4},
    };
    makeTmp();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        startMisbehaving(c.mode);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(run("/FILE=pkg.zip;"), "X");
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
        expectOnlyBox(c.title, c.text);
        EXPECT_EQ(port.positions, steps(c.lastStep));
        EXPECT_TRUE(isEmptyFolder(path("tmp"))) << listing(path("tmp"));
        server.reset();
    }
}

// A name that would leave tmp is neither deleted nor downloaded: the server
// offers a package at the place the name points to, and the sentinel there
// must survive.
TEST_F(FtpUpdate, AFileNameThatLeavesTmpIsNeverDeletedOrDownloaded) {
    startReal();
    const std::string remote = textOf(test::makePackage({{"payload.txt", "payload"}}));
    ASSERT_TRUE(test::writeFile(home.filePath("victim.zip"), remote));
    publish("sub/victim.zip", remote);
    const std::string sentinel = textOf(test::makePackage({{"sentinel.txt", "planted"}}));
    std::vector<std::string> names = {std::string()};
    for (const std::string& name : test::namesThatLeaveTheFolder(path("victim.zip"))) {
        names.push_back(name);
    }
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        std::error_code error;
        fs::remove_all(path("tmp"), error);
        ASSERT_TRUE(fs::create_directories(path("tmp/sub"), error));
        ASSERT_TRUE(test::writeFile(path("victim.zip"), sentinel));
        ASSERT_TRUE(test::writeFile(path("tmp/sub/victim.zip"), sentinel));
        EXPECT_EQ(run("/FILE=" + name + ";"), "X");
        expectOnlyBox(kDownloadTitle, kDownloadText);
        EXPECT_TRUE(test::readFile(path("victim.zip")) == sentinel);
        EXPECT_TRUE(test::readFile(path("tmp/sub/victim.zip")) == sentinel);
        EXPECT_FALSE(fs::exists(path("payload.txt")));
        EXPECT_FALSE(fs::exists(path("sentinel.txt")));
        expectDisconnected();
    }
}

} // namespace
} // namespace qlx
