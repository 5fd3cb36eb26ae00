// The core's adapters over the ftp library, loaded as the updater loads it.
#include "base/bytes.h"
#include "base/unexpected_error.h"
#include "ftp_test_files.h"
#include "platform/outside_library.h"
#include "support/ftp_server.h"
#include "support/test_files.h"
#include "update/ftp_client.h"
#include "update/ftp_server_address.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

namespace {

using qlx::test::FtpServer;

// First in this file: once an entry has loaded the library it stays loaded for
// the process, and a later test could no longer see the load fail.
TEST(FtpClientLoadTest, MissingLibraryIsTheUnexpectedError) {
    qlx::test::TempDir empty;
    ASSERT_TRUE(empty.isValid());
    qlx::OutsideLibrary::setLibraryFolderForTesting(empty.path());
    try {
        qlx::ftpconnect("127.0.0.1", "u", "p");
        ADD_FAILURE() << "no UnexpectedError";
    } catch (const qlx::UnexpectedError& error) {
        EXPECT_NE(error.library().find("ftp"), std::string::npos) << error.what();
    }
    EXPECT_THROW(qlx::ftpdisconnect(), qlx::UnexpectedError);
    qlx::OutsideLibrary::setLibraryFolderForTesting("");
}

TEST(FtpClientTest, DownloadsThroughTheLoadedLibrary) {
    qlx::test::TempDir home;
    qlx::test::TempDir local;
    ASSERT_TRUE(home.isValid() && local.isValid());
    auto server = FtpServer::startReal(home.path());
    ASSERT_NE(server, nullptr);
    const std::string content = qlx::test::pseudoRandomBytes(300 * 1024, 7);
    ASSERT_TRUE(qlx::test::writeFile(home.filePath("Quillon_Down/pkg.zip"), content));

    // Results are widened with their sign.
    EXPECT_EQ(qlx::ftpconnect(server->address(), FtpServer::user, "wrong"), -5L);
    ASSERT_EQ(qlx::ftpconnect(server->address(), FtpServer::user, FtpServer::password), 0L);
    ASSERT_EQ(qlx::ftpsetcurrentdir("Quillon_Down"), 0L);
    EXPECT_LT(qlx::ftpsetcurrentdir("Elsewhere"), 0L);

    // A local name outside ASCII passes through the 8-bit conversion intact.
    const std::string target = local.filePath("패키지.zip");
    ASSERT_EQ(qlx::ftpgetfile("pkg.zip", target, 1), 0L);
    EXPECT_TRUE(qlx::test::readFile(target) == content);
    EXPECT_LT(qlx::ftpgetfile("absent.zip", target + "2", 1), 0L);

    const std::string untouched = "untouched";
    qlx::Bytes data(untouched.begin(), untouched.end());
    EXPECT_EQ(qlx::ftpfilelist(data), -14L);
    EXPECT_EQ(data, qlx::Bytes(untouched.begin(), untouched.end()));
    EXPECT_EQ(qlx::ftpdisconnect(), 0L);
    EXPECT_EQ(qlx::ftpdisconnect(), 0L);
}

TEST(FtpServerAddressTest, IsAnIpv4LiteralWithOptionalPort) {
    static const std::regex shape(R"(\d{1,3}\.\d{1,3}\.\d{1,3}\.\d{1,3}(:\d{1,5})?)");
    EXPECT_TRUE(std::regex_match(qlx::ftpServerAddress(), shape)) << qlx::ftpServerAddress();
}

} // namespace
