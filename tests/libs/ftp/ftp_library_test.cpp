// The ftp library's exports against a real FTP server (pyftpdlib).
#include "ftp_test_files.h"
#include "libs/ftp/ftp.h"
#include "support/ftp_server.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using qlx::test::FtpServer;

class FtpLibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home_.isValid() && local_.isValid());
        ASSERT_TRUE(QDir(home_.path()).mkpath(QStringLiteral("Quillon_Down/sub")));
        server_ = FtpServer::startReal(home_.path());
        ASSERT_NE(server_, nullptr) << "the pyftpdlib test server did not start";
        address_ = server_->address().toLatin1();
        FTPsetTimeouts(3, 3, 3);
    }

    void TearDown() override {
        FTPDisconnect();
        FTPsetTimeouts(0, 0, 0);
    }

    short connect() {
        return FTPConnect(address_.constData(), FtpServer::user, FtpServer::password);
    }

    QString serverFile(const QString& relative) const { return home_.filePath(relative); }
    QString localFile(const QString& name) const { return local_.filePath(name); }
    QByteArray localPath(const QString& name) const { return localFile(name).toLocal8Bit(); }

    QTemporaryDir home_;
    QTemporaryDir local_;
    std::unique_ptr<FtpServer> server_;
    QByteArray address_;
};

TEST_F(FtpLibraryTest, ConnectLogsInWithTheUpdateAccount) {
    EXPECT_EQ(connect(), FTP_OK);
    // A second connect replaces the first and works as well.
    EXPECT_EQ(connect(), FTP_OK);
    EXPECT_EQ(FTPsetCurrentDir("Quillon_Down"), FTP_OK);
}

TEST_F(FtpLibraryTest, WrongCredentialsFailAtConnectAndLeaveNoConnection) {
    struct Case {
        const char* user;
        const char* password;
    };
    const Case cases[] = {{"vortaupt", "mavik#(%~&!"},
                          {"vortaupt", ""},
                          {"vortaupt", "MAVIK#(%~&!*"},
                          {"nobody", "mavik#(%~&!*"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.user) + " / " + c.password);
        EXPECT_EQ(FTPConnect(address_.constData(), c.user, c.password), FTP_E_LOGIN);
        EXPECT_EQ(FTPsetCurrentDir("Quillon_Down"), FTP_E_NOT_CONNECTED);
    }
}

TEST_F(FtpLibraryTest, AddressMustBeAnIpv4LiteralWithOptionalPort) {
    const char* const bad[] = {"",          "localhost",      "127.0.0.1:",      "127.0.0.1:0",
                               "256.0.0.1", "127.0.0.01",     "127.0.0.1:65536", "127.0.0.1 ",
                               "1.2.3",     "1.2.3.4.5",      "-1.0.0.1",        "127.0.0.1:21x",
                               "::1",       "ftp://127.0.0.1"};
    for (const char* address : bad) {
        SCOPED_TRACE(address);
        EXPECT_EQ(FTPConnect(address, FtpServer::user, FtpServer::password), FTP_E_ADDRESS);
    }
    EXPECT_EQ(FTPConnect(nullptr, FtpServer::user, FtpServer::password), FTP_E_ARGUMENT);
    EXPECT_EQ(FTPConnect(address_.constData(), nullptr, FtpServer::password), FTP_E_ARGUMENT);
}

TEST_F(FtpLibraryTest, NoServerOnThePortFailsAtConnect) {
    server_.reset(); // the port is free again, nothing listens
    EXPECT_EQ(connect(), FTP_E_CONNECT);
}

TEST_F(FtpLibraryTest, ChangingFolderEntersExistingFoldersOnly) {
    EXPECT_EQ(FTPsetCurrentDir("Quillon_Down"), FTP_E_NOT_CONNECTED);
    ASSERT_EQ(connect(), FTP_OK);
    ASSERT_TRUE(qlx::test::writeFile(serverFile(QStringLiteral("Quillon_Down/here.bin")), "down"));
    ASSERT_TRUE(
        qlx::test::writeFile(serverFile(QStringLiteral("Quillon_Down/sub/deep.bin")), "deep"));

    EXPECT_EQ(FTPsetCurrentDir("Quillon_Down"), FTP_OK);
    // A refused change leaves the server in the folder it was in.
    EXPECT_EQ(FTPsetCurrentDir("Missing"), FTP_E_NO_FOLDER);
    EXPECT_EQ(FTPsetCurrentDir(""), FTP_E_ARGUMENT);
    EXPECT_EQ(FTPsetCurrentDir(nullptr), FTP_E_ARGUMENT);
    EXPECT_EQ(FTPgetFile("here.bin", localPath(QStringLiteral("here.bin")).constData(), 1), FTP_OK);
    EXPECT_EQ(qlx::test::readFile(localFile(QStringLiteral("here.bin"))), "down");

    // Folder names are relative to the current folder, as CWD takes them.
    EXPECT_EQ(FTPsetCurrentDir("sub"), FTP_OK);
    EXPECT_EQ(FTPgetFile("deep.bin", localPath(QStringLiteral("deep.bin")).constData(), 1), FTP_OK);
    EXPECT_EQ(qlx::test::readFile(localFile(QStringLiteral("deep.bin"))), "deep");
    EXPECT_EQ(FTPsetCurrentDir("/Quillon_Down/sub"), FTP_OK);
    EXPECT_EQ(FTPsetCurrentDir("/Quillon_Down"), FTP_OK);
    EXPECT_EQ(FTPgetFile("here.bin", localPath(QStringLiteral("again.bin")).constData(), 1),
              FTP_OK);
}

TEST_F(FtpLibraryTest, BinaryDownloadDeliversTheFileByteForByte) {
    struct Case {
        QString remote;
        QByteArray content;
    };
    const Case cases[] = {
        {QStringLiteral("all_bytes.zip"), qlx::test::allByteValues()},
        {QStringLiteral("large.zip"), qlx::test::pseudoRandomBytes(6 * 1024 * 1024 + 7, 42)},
        {QStringLiteral("empty.zip"), QByteArray()},
        // Characters that mean something in a URL must reach the server as they are.
        {QStringLiteral("pkg #1 100%;a?b&c.zip"), QByteArray("named")},
    };
    ASSERT_EQ(connect(), FTP_OK);
    ASSERT_EQ(FTPsetCurrentDir("Quillon_Down"), FTP_OK);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.remote.toStdString());
        ASSERT_TRUE(qlx::test::writeFile(serverFile(QStringLiteral("Quillon_Down/") + c.remote),
                                         c.content));
        const QString target = localFile(c.remote);
        ASSERT_TRUE(qlx::test::writeFile(target, "stale copy")); // replaced, not appended to
        EXPECT_EQ(
            FTPgetFile(c.remote.toLocal8Bit().constData(), target.toLocal8Bit().constData(), 1),
            FTP_OK);
        const QByteArray got = qlx::test::readFile(target);
        EXPECT_EQ(got.size(), c.content.size());
        EXPECT_TRUE(got == c.content);
    }
    // Nothing but the requested files is left behind.
    EXPECT_EQ(qlx::test::entriesOf(local_.path()).size(), static_cast<qsizetype>(std::size(cases)));
}

TEST_F(FtpLibraryTest, TextModeTransfersLines) {
    ASSERT_TRUE(
        qlx::test::writeFile(serverFile(QStringLiteral("Quillon_Down/notes.txt")), "one\ntwo\n"));
    ASSERT_EQ(connect(), FTP_OK);
    ASSERT_EQ(FTPsetCurrentDir("Quillon_Down"), FTP_OK);
    ASSERT_EQ(FTPgetFile("notes.txt", localPath(QStringLiteral("notes.txt")).constData(), 0),
              FTP_OK);
    // The server sends text with CRLF line ends (TYPE A); the lines arrive whole.
    QByteArray got = qlx::test::readFile(localFile(QStringLiteral("notes.txt")));
    got.replace("\r\n", "\n");
    EXPECT_EQ(got, "one\ntwo\n");
}

TEST_F(FtpLibraryTest, FailedDownloadsLeaveNoFileBehind) {
    ASSERT_TRUE(qlx::test::writeFile(serverFile(QStringLiteral("Quillon_Down/pkg.zip")), "zip"));
    EXPECT_EQ(FTPgetFile("pkg.zip", localPath(QStringLiteral("pkg.zip")).constData(), 1),
              FTP_E_NOT_CONNECTED);
    ASSERT_EQ(connect(), FTP_OK);
    ASSERT_EQ(FTPsetCurrentDir("Quillon_Down"), FTP_OK);

    struct Case {
        const char* what;
        QByteArray remote;
        QByteArray local;
        short expected;
    };
    const Case cases[] = {
        {"missing remote file", "nothing.zip", localPath(QStringLiteral("nothing.zip")),
         FTP_E_NO_FILE},
        {"empty remote name", "", localPath(QStringLiteral("x.zip")), FTP_E_ARGUMENT},
        {"local path is a folder", "pkg.zip", local_.path().toLocal8Bit(), FTP_E_ARGUMENT},
        {"local path ends with a separator", "pkg.zip", localPath(QString()) + "/", FTP_E_ARGUMENT},
        {"local folder missing", "pkg.zip", localPath(QStringLiteral("tmp/pkg.zip")),
         FTP_E_LOCAL_FILE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(FTPgetFile(c.remote.constData(), c.local.constData(), 1), c.expected);
        EXPECT_TRUE(qlx::test::entriesOf(local_.path()).isEmpty())
            << qlx::test::entriesOf(local_.path()).join(u' ').toStdString();
    }
    // The connection survives the refusals.
    EXPECT_EQ(FTPgetFile("pkg.zip", localPath(QStringLiteral("pkg.zip")).constData(), 1), FTP_OK);
}

TEST_F(FtpLibraryTest, DisconnectIsHarmlessWithoutConnectionAndEndsIt) {
    EXPECT_EQ(FTPDisconnect(), FTP_OK);
    EXPECT_EQ(FTPDisconnect(), FTP_OK);
    ASSERT_EQ(connect(), FTP_OK);
    EXPECT_EQ(FTPDisconnect(), FTP_OK);
    EXPECT_EQ(FTPsetCurrentDir("Quillon_Down"), FTP_E_NOT_CONNECTED);
}

TEST_F(FtpLibraryTest, FileListIsNotSupportedAndTouchesNothing) {
    ASSERT_EQ(connect(), FTP_OK);
    unsigned char buffer[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(FTPfileList(buffer), FTP_E_NOT_SUPPORTED);
    EXPECT_EQ(FTPfileList(nullptr), FTP_E_NOT_SUPPORTED);
    const unsigned char expected[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_TRUE(std::equal(std::begin(buffer), std::end(buffer), std::begin(expected)));
}

} // namespace
