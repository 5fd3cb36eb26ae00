// The ftp library's exports against a real FTP server (pyftpdlib).
#include "ftp_test_files.h"
#include "libs/ftp/ftp.h"
#include "support/ftp_server.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <memory>
#include <string>
#include <system_error>

namespace {

using qlx::test::FtpServer;

class FtpLibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home_.isValid() && local_.isValid());
        std::error_code error;
        std::filesystem::create_directories(serverFile("Quillon_Down/sub"), error);
        ASSERT_TRUE(qlx::test::folderExists(serverFile("Quillon_Down/sub"))) << error.message();
        server_ = FtpServer::startReal(home_.path());
        ASSERT_NE(server_, nullptr) << "the pyftpdlib test server did not start";
        address_ = server_->address();
        FTPsetTimeouts(3, 3, 3);
    }

    void TearDown() override {
        FTPDisconnect();
        FTPsetTimeouts(0, 0, 0);
    }

    short connect() { return FTPConnect(address_.c_str(), FtpServer::user, FtpServer::password); }

    std::string serverFile(const std::string& relative) const { return home_.filePath(relative); }
    // Handed to the library as they are: the bytes the test reads the file by.
    std::string localFile(const std::string& name) const { return local_.filePath(name); }

    qlx::test::TempDir home_;
    qlx::test::TempDir local_;
    std::unique_ptr<FtpServer> server_;
    std::string address_;
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
        EXPECT_EQ(FTPConnect(address_.c_str(), c.user, c.password), FTP_E_LOGIN);
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
    EXPECT_EQ(FTPConnect(address_.c_str(), nullptr, FtpServer::password), FTP_E_ARGUMENT);
}

TEST_F(FtpLibraryTest, NoServerOnThePortFailsAtConnect) {
    server_.reset(); // the port is free again, nothing listens
    EXPECT_EQ(connect(), FTP_E_CONNECT);
}

TEST_F(FtpLibraryTest, ChangingFolderEntersExistingFoldersOnly) {
    EXPECT_EQ(FTPsetCurrentDir("Quillon_Down"), FTP_E_NOT_CONNECTED);
    ASSERT_EQ(connect(), FTP_OK);
    ASSERT_TRUE(qlx::test::writeFile(serverFile("Quillon_Down/here.bin"), "down"));
    ASSERT_TRUE(qlx::test::writeFile(serverFile("Quillon_Down/sub/deep.bin"), "deep"));

    EXPECT_EQ(FTPsetCurrentDir("Quillon_Down"), FTP_OK);
    // A refused change leaves the server in the folder it was in.
    EXPECT_EQ(FTPsetCurrentDir("Missing"), FTP_E_NO_FOLDER);
    EXPECT_EQ(FTPsetCurrentDir(""), FTP_E_ARGUMENT);
    EXPECT_EQ(FTPsetCurrentDir(nullptr), FTP_E_ARGUMENT);
    EXPECT_EQ(FTPgetFile("here.bin", localFile("here.bin").c_str(), 1), FTP_OK);
    EXPECT_EQ(qlx::test::readFile(localFile("here.bin")), "down");

    // Folder names are relative to the current folder, as CWD takes them.
    EXPECT_EQ(FTPsetCurrentDir("sub"), FTP_OK);
    EXPECT_EQ(FTPgetFile("deep.bin", localFile("deep.bin").c_str(), 1), FTP_OK);
    EXPECT_EQ(qlx::test::readFile(localFile("deep.bin")), "deep");
    EXPECT_EQ(FTPsetCurrentDir("/Quillon_Down/sub"), FTP_OK);
    EXPECT_EQ(FTPsetCurrentDir("/Quillon_Down"), FTP_OK);
    EXPECT_EQ(FTPgetFile("here.bin", localFile("again.bin").c_str(), 1), FTP_OK);
}

TEST_F(FtpLibraryTest, BinaryDownloadDeliversTheFileByteForByte) {
    struct Case {
        std::string remote;
        std::string content;
    };
    const Case cases[] = {
        {"all_bytes.zip", qlx::test::allByteValues()},
        {"large.zip", qlx::test::pseudoRandomBytes(6 * 1024 * 1024 + 7, 42)},
        {"empty.zip", std::string()},
        // Characters that mean something in a URL must reach the server as they are.
        {"pkg #1 100%;a?b&c.zip", "named"},
    };
    ASSERT_EQ(connect(), FTP_OK);
    ASSERT_EQ(FTPsetCurrentDir("Quillon_Down"), FTP_OK);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.remote);
        ASSERT_TRUE(qlx::test::writeFile(serverFile("Quillon_Down/" + c.remote), c.content));
        const std::string target = localFile(c.remote);
        ASSERT_TRUE(qlx::test::writeFile(target, "stale copy")); // replaced, not appended to
        EXPECT_EQ(FTPgetFile(c.remote.c_str(), target.c_str(), 1), FTP_OK);
        const std::string got = qlx::test::readFile(target);
        EXPECT_EQ(got.size(), c.content.size());
        EXPECT_TRUE(got == c.content);
    }
    // Nothing but the requested files is left behind.
    EXPECT_EQ(qlx::test::entriesOf(local_.path()).size(), std::size(cases));
}

TEST_F(FtpLibraryTest, TextModeTransfersLines) {
    ASSERT_TRUE(qlx::test::writeFile(serverFile("Quillon_Down/notes.txt"), "one\ntwo\n"));
    ASSERT_EQ(connect(), FTP_OK);
    ASSERT_EQ(FTPsetCurrentDir("Quillon_Down"), FTP_OK);
    ASSERT_EQ(FTPgetFile("notes.txt", localFile("notes.txt").c_str(), 0), FTP_OK);
    // The server sends text with CRLF line ends (TYPE A); the lines arrive whole.
    std::string got = qlx::test::readFile(localFile("notes.txt"));
    for (std::size_t at = got.find("\r\n"); at != std::string::npos; at = got.find("\r\n", at)) {
        got.erase(at, 1);
    }
    EXPECT_EQ(got, "one\ntwo\n");
}

TEST_F(FtpLibraryTest, FailedDownloadsLeaveNoFileBehind) {
    ASSERT_TRUE(qlx::test::writeFile(serverFile("Quillon_Down/pkg.zip"), "zip"));
    EXPECT_EQ(FTPgetFile("pkg.zip", localFile("pkg.zip").c_str(), 1), FTP_E_NOT_CONNECTED);
    ASSERT_EQ(connect(), FTP_OK);
    ASSERT_EQ(FTPsetCurrentDir("Quillon_Down"), FTP_OK);

    struct Case {
        const char* what;
        std::string remote;
        std::string local;
        short expected;
    };
    const Case cases[] = {
        {"missing remote file", "nothing.zip", localFile("nothing.zip"), FTP_E_NO_FILE},
        {"empty remote name", "", localFile("x.zip"), FTP_E_ARGUMENT},
        {"local path is a folder", "pkg.zip", local_.path(), FTP_E_ARGUMENT},
        {"local path ends with a separator", "pkg.zip", local_.path() + "/", FTP_E_ARGUMENT},
        {"local folder missing", "pkg.zip", localFile("tmp/pkg.zip"), FTP_E_LOCAL_FILE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(FTPgetFile(c.remote.c_str(), c.local.c_str(), 1), c.expected);
        EXPECT_TRUE(qlx::test::entriesOf(local_.path()).empty())
            << qlx::test::joined(qlx::test::entriesOf(local_.path()));
    }
    // The connection survives the refusals.
    EXPECT_EQ(FTPgetFile("pkg.zip", localFile("pkg.zip").c_str(), 1), FTP_OK);
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
