// The FTP update against a real pyftpdlib server and against servers that
// fail in one way each.

#include "support/ftp_server.h"
#include "support/packages.h"
#include "support/window_fixture.h"
#include "update/ftp_client.h"
#include "update/outside_library.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

namespace qlx {
namespace {

using test::FtpServer;

const QString kConnectTitle = QStringLiteral("접속");
const QString kDownloadTitle = QStringLiteral("ini");
const QString kDownloadText = QStringLiteral("서버로부터 업그레이드 파일 가져오기 실패했습니다.");

bool writeFile(const QString& file, const QByteArray& content) {
    QFile f(file);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(content) == content.size();
}

std::vector<int> steps(int last) {
    std::vector<int> out;
    for (int i = 1; i <= last; ++i) {
        out.push_back(i);
    }
    return out;
}

class FtpUpdate : public test::WindowFixture {
protected:
    static void SetUpTestSuite() {
        // Short time-outs, so that a server that never answers fails within
        // seconds. The adapter loads the same library file, so the setting
        // reaches the instance the update uses; the handle is kept for the
        // whole run so the library is never unloaded in between.
        static OutsideLibrary library(QStringLiteral("ftp"));
        using SetTimeouts = short (*)(short, short, short);
        reinterpret_cast<SetTimeouts>(library.entry("FTPsetTimeouts"))(2, 2, 2);
    }

    void SetUp() override {
        WindowFixture::SetUp();
        ASSERT_TRUE(home.isValid());
        ASSERT_TRUE(QDir().mkdir(home.filePath(QStringLiteral("Quillon_Down"))));
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
    void startMisbehaving(const QString& mode) {
        server = FtpServer::startMisbehaving(mode);
        ASSERT_NE(server, nullptr);
        ftpServer = server->address();
    }
    void publish(const QString& name, const QByteArray& content) {
        ASSERT_TRUE(writeFile(home.filePath(QStringLiteral("Quillon_Down/") + name), content));
    }
    void makeTmp() { ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("tmp")))); }

    QString run(const QString& fields) {
        port.boxes.clear();
        port.positions.clear();
        makeWindow(QStringLiteral("/PID=1;") + fields).open();
        EXPECT_FALSE(port.closed);
        EXPECT_TRUE(port.boxes.empty());
        return window->uf_upgrade(QString());
    }

    void expectOnlyBox(const QString& title, const QString& text) {
        ASSERT_EQ(port.boxes.size(), 1u) << (server ? server->errorOutput().toStdString() : "");
        EXPECT_EQ(port.boxes[0].title, title);
        EXPECT_EQ(port.boxes[0].text, text);
    }

    // The library's one connection is closed: even the server's root, which
    // every login can enter, cannot be entered any more.
    static void expectDisconnected() { EXPECT_NE(ftpsetcurrentdir(QStringLiteral("/")), 0L); }

    QTemporaryDir home;
    std::unique_ptr<FtpServer> server;
};

TEST_F(FtpUpdate, DownloadsExtractsAndCleansUp) {
    startReal();
    const QByteArray package = test::makePackage({{"a.txt", "ftp"}, {"sub/b.txt", "b"}});
    publish(QStringLiteral("pkg.zip"), package);
    makeTmp();
    ASSERT_TRUE(writeFile(path(QStringLiteral("tmp/quillon.ini")), "[old]"));
    ASSERT_TRUE(writeFile(path(QStringLiteral("tmp/keep.txt")), "keep"));

    EXPECT_EQ(run(QStringLiteral("/FILE=pkg.zip;")), QStringLiteral("O"));
    EXPECT_TRUE(port.boxes.empty()) << port.boxes[0].text.toStdString();
    EXPECT_EQ(port.positions, steps(7));
    EXPECT_EQ(test::readFile(path(QStringLiteral("a.txt"))), "ftp");
    EXPECT_EQ(test::readFile(path(QStringLiteral("sub/b.txt"))), "b");
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("tmp/pkg.zip"))));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("tmp/quillon.ini"))));
    EXPECT_EQ(test::readFile(path(QStringLiteral("tmp/keep.txt"))), "keep");
    expectDisconnected();
}

TEST_F(FtpUpdate, SucceedsWithoutAQuillonIniAndReplacesAStaleCopy) {
    startReal();
    publish(QStringLiteral("pkg.zip"), test::makePackage({{"a.txt", "fresh"}}));
    makeTmp();
    ASSERT_TRUE(
        writeFile(path(QStringLiteral("tmp/pkg.zip")), test::makePackage({{"a.txt", "stale"}})));

    EXPECT_EQ(run(QStringLiteral("/FILE=pkg.zip;")), QStringLiteral("O"));
    EXPECT_TRUE(port.boxes.empty());
    EXPECT_EQ(test::readFile(path(QStringLiteral("a.txt"))), "fresh");
    EXPECT_TRUE(QDir(path(QStringLiteral("tmp"))).isEmpty());
}

TEST_F(FtpUpdate, AMissingTmpFolderIsNotCreatedAndTheDownloadFails) {
    startReal();
    publish(QStringLiteral("pkg.zip"), test::makePackage({{"a.txt", "x"}}));
    EXPECT_EQ(run(QStringLiteral("/FILE=pkg.zip;")), QStringLiteral("X"));
    expectOnlyBox(kDownloadTitle, kDownloadText);
    EXPECT_EQ(port.positions, steps(4));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("tmp"))));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("a.txt"))));
    expectDisconnected();
}

// The stale copy goes before the download, so a failed download leaves none.
TEST_F(FtpUpdate, AStaleCopyIsDeletedEvenWhenTheRemoteFileIsMissing) {
    startReal();
    makeTmp();
    ASSERT_TRUE(
        writeFile(path(QStringLiteral("tmp/pkg.zip")), test::makePackage({{"a.txt", "stale"}})));
    EXPECT_EQ(run(QStringLiteral("/FILE=pkg.zip;")), QStringLiteral("X"));
    expectOnlyBox(kDownloadTitle, kDownloadText);
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("tmp/pkg.zip"))));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("a.txt"))));
    expectDisconnected();
}

TEST_F(FtpUpdate, ARefusedLoginStopsAtTheConnection) {
    startMisbehaving(QStringLiteral("reject"));
    makeTmp();
    EXPECT_EQ(run(QStringLiteral("/FILE=pkg.zip;")), QStringLiteral("X"));
    expectOnlyBox(kConnectTitle, QStringLiteral("서버에 접속중 에러 발생."));
    EXPECT_EQ(port.positions, steps(2));
    EXPECT_TRUE(QDir(path(QStringLiteral("tmp"))).isEmpty());
}

TEST_F(FtpUpdate, AMissingServerFolderStopsAfterTheLogin) {
    startReal();
    ASSERT_TRUE(QDir(home.filePath(QStringLiteral("Quillon_Down"))).removeRecursively());
    makeTmp();
    EXPECT_EQ(run(QStringLiteral("/FILE=pkg.zip;")), QStringLiteral("X"));
    expectOnlyBox(kConnectTitle, QStringLiteral("서버에 폴더 변경중 에러발생"));
    EXPECT_EQ(port.positions, steps(3));
    expectDisconnected();
}

TEST_F(FtpUpdate, APackageThatFailsToExtractStaysInTmp) {
    startReal();
    publish(QStringLiteral("pkg.zip"), "<html>not a package</html>");
    makeTmp();
    ASSERT_TRUE(writeFile(path(QStringLiteral("tmp/quillon.ini")), "[old]"));
    EXPECT_EQ(run(QStringLiteral("/FILE=pkg.zip;")), QStringLiteral("X"));
    expectOnlyBox(QStringLiteral("확인!"),
                  QStringLiteral("업그레이중 오류가 있습니다. \r\n본사에 문의하세요."));
    EXPECT_EQ(port.positions, steps(5));
    EXPECT_EQ(test::readFile(path(QStringLiteral("tmp/pkg.zip"))), "<html>not a package</html>");
    EXPECT_EQ(test::readFile(path(QStringLiteral("tmp/quillon.ini"))), "[old]");
    expectDisconnected();
}

// Each server breaks off in its own way; the update reports it within the
// library's time-outs and leaves no package file behind.
TEST_F(FtpUpdate, ABrokenServerIsReportedWithinTheTimeOut) {
    struct Case {
        const char* mode;
        QString title;
        QString text;
        int lastStep;
    };
    const std::vector<Case> cases = {
        {"silent", kConnectTitle, QStringLiteral("서버에 접속중 에러 발생."), 2},
        {"stall", kDownloadTitle, kDownloadText, 4},
        {"mute", kDownloadTitle, kDownloadText, 4},
        {"close", kDownloadTitle, kDownloadText, 4},
        {"wrong-size", kDownloadTitle, kDownloadText, 4},
    };
    makeTmp();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        startMisbehaving(QString::fromLatin1(c.mode));
        QElapsedTimer timer;
        timer.start();
        EXPECT_EQ(run(QStringLiteral("/FILE=pkg.zip;")), QStringLiteral("X"));
        EXPECT_LT(timer.elapsed(), 15000);
        expectOnlyBox(c.title, c.text);
        EXPECT_EQ(port.positions, steps(c.lastStep));
        EXPECT_TRUE(QDir(path(QStringLiteral("tmp"))).isEmpty())
            << QDir(path(QStringLiteral("tmp"))).entryList().join(u' ').toStdString();
        server.reset();
    }
}

// A name that would leave tmp is neither deleted nor downloaded: the server
// offers a package at the place the name points to, and the sentinel there
// must survive.
TEST_F(FtpUpdate, AFileNameThatLeavesTmpIsNeverDeletedOrDownloaded) {
    startReal();
    const QByteArray remote = test::makePackage({{"payload.txt", "payload"}});
    ASSERT_TRUE(writeFile(home.filePath(QStringLiteral("victim.zip")), remote));
    ASSERT_TRUE(QDir().mkpath(home.filePath(QStringLiteral("Quillon_Down/sub"))));
    publish(QStringLiteral("sub/victim.zip"), remote);
    const QByteArray sentinel = test::makePackage({{"sentinel.txt", "planted"}});
    const QStringList names =
        QStringList{QString()} + test::namesThatLeaveTheFolder(path(QStringLiteral("victim.zip")));
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        QDir(path(QStringLiteral("tmp"))).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("tmp/sub"))));
        ASSERT_TRUE(writeFile(path(QStringLiteral("victim.zip")), sentinel));
        ASSERT_TRUE(writeFile(path(QStringLiteral("tmp/sub/victim.zip")), sentinel));
        EXPECT_EQ(run(QStringLiteral("/FILE=") + name + u';'), QStringLiteral("X"));
        expectOnlyBox(kDownloadTitle, kDownloadText);
        EXPECT_TRUE(test::readFile(path(QStringLiteral("victim.zip"))) == sentinel);
        EXPECT_TRUE(test::readFile(path(QStringLiteral("tmp/sub/victim.zip"))) == sentinel);
        EXPECT_FALSE(QFile::exists(path(QStringLiteral("payload.txt"))));
        EXPECT_FALSE(QFile::exists(path(QStringLiteral("sentinel.txt"))));
        expectDisconnected();
    }
}

} // namespace
} // namespace qlx
