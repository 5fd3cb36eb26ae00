// The core's adapters over the ftp library, loaded as the updater loads it.
#include "app/unexpected_error.h"
#include "ftp_test_files.h"
#include "support/ftp_server.h"
#include "update/ftp_client.h"
#include "update/ftp_server_address.h"
#include "update/outside_library.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using qlx::test::FtpServer;

// First in this file: once an entry has loaded the library it stays loaded for
// the process, and a later test could no longer see the load fail.
TEST(FtpClientLoadTest, MissingLibraryIsTheUnexpectedError) {
    QTemporaryDir empty;
    ASSERT_TRUE(empty.isValid());
    qlx::OutsideLibrary::setLibraryFolderForTesting(empty.path());
    try {
        qlx::ftpconnect(QStringLiteral("127.0.0.1"), QStringLiteral("u"), QStringLiteral("p"));
        ADD_FAILURE() << "no UnexpectedError";
    } catch (const qlx::UnexpectedError& error) {
        EXPECT_TRUE(error.library().contains(QLatin1String("ftp"))) << error.what();
    }
    EXPECT_THROW(qlx::ftpdisconnect(), qlx::UnexpectedError);
    qlx::OutsideLibrary::setLibraryFolderForTesting(QString());
}

TEST(FtpClientTest, DownloadsThroughTheLoadedLibrary) {
    QTemporaryDir home;
    QTemporaryDir local;
    ASSERT_TRUE(home.isValid() && local.isValid());
    auto server = FtpServer::startReal(home.path());
    ASSERT_NE(server, nullptr);
    const QByteArray content = qlx::test::pseudoRandomBytes(300 * 1024, 7);
    ASSERT_TRUE(
        qlx::test::writeFile(home.filePath(QStringLiteral("Quillon_Down/pkg.zip")), content));

    // Results are widened with their sign.
    EXPECT_EQ(qlx::ftpconnect(server->address(), QString::fromLatin1(FtpServer::user),
                              QStringLiteral("wrong")),
              -5L);
    ASSERT_EQ(qlx::ftpconnect(server->address(), QString::fromLatin1(FtpServer::user),
                              QString::fromLatin1(FtpServer::password)),
              0L);
    ASSERT_EQ(qlx::ftpsetcurrentdir(QStringLiteral("Quillon_Down")), 0L);
    EXPECT_LT(qlx::ftpsetcurrentdir(QStringLiteral("Elsewhere")), 0L);

    // A local name outside ASCII passes through the 8-bit conversion intact.
    const QString target = local.filePath(QStringLiteral("패키지.zip"));
    ASSERT_EQ(qlx::ftpgetfile(QStringLiteral("pkg.zip"), target, 1), 0L);
    EXPECT_TRUE(qlx::test::readFile(target) == content);
    EXPECT_LT(qlx::ftpgetfile(QStringLiteral("absent.zip"), target + QLatin1String("2"), 1), 0L);

    QByteArray data("untouched");
    EXPECT_EQ(qlx::ftpfilelist(data), -14L);
    EXPECT_EQ(data, "untouched");
    EXPECT_EQ(qlx::ftpdisconnect(), 0L);
    EXPECT_EQ(qlx::ftpdisconnect(), 0L);
}

TEST(FtpServerAddressTest, IsAnIpv4LiteralWithOptionalPort) {
    static const QRegularExpression shape(
        QStringLiteral("^\\d{1,3}\\.\\d{1,3}\\.\\d{1,3}\\.\\d{1,3}(:\\d{1,5})?$"));
    EXPECT_TRUE(shape.match(qlx::ftpServerAddress()).hasMatch())
        << qlx::ftpServerAddress().toStdString();
}

} // namespace
