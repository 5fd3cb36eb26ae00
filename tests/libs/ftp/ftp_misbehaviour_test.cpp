// The ftp library against servers that fail: each failure is a negative result
// within the time-outs, leaves no file, and the next connection works.
#include "ftp_test_files.h"
#include "libs/ftp/ftp.h"
#include "support/ftp_server.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using qlx::test::FtpServer;

constexpr short timeoutSeconds = 2;
// Every failure must show within the time-out it hits plus some slack for a
// loaded machine; the defaults (10 s) would exceed this.
constexpr qint64 limitMs = 3 * timeoutSeconds * 1000 + 2000;

struct Misbehaviour {
    const char* mode;
    bool failsAtConnect;
    short expected;
};

class FtpMisbehaviourTest : public ::testing::TestWithParam<Misbehaviour> {
protected:
    void SetUp() override { FTPsetTimeouts(timeoutSeconds, timeoutSeconds, timeoutSeconds); }
    void TearDown() override {
        FTPDisconnect();
        FTPsetTimeouts(0, 0, 0);
    }
};

TEST_P(FtpMisbehaviourTest, FailsInTimeAndLeavesNothing) {
    const Misbehaviour& m = GetParam();
    QTemporaryDir local;
    ASSERT_TRUE(local.isValid());
    const QByteArray target = QDir(local.path()).filePath(QStringLiteral("pkg.zip")).toLocal8Bit();
    {
        auto bad = FtpServer::startMisbehaving(QString::fromLatin1(m.mode));
        ASSERT_NE(bad, nullptr);
        const QByteArray address = bad->address().toLatin1();

        QElapsedTimer timer;
        timer.start();
        short result = FTPConnect(address.constData(), FtpServer::user, FtpServer::password);
        if (m.failsAtConnect) {
            EXPECT_EQ(result, m.expected);
        } else {
            ASSERT_EQ(result, FTP_OK);
            ASSERT_EQ(FTPsetCurrentDir("Quillon_Down"), FTP_OK);
            result = FTPgetFile("pkg.zip", target.constData(), 1);
            EXPECT_EQ(result, m.expected);
        }
        EXPECT_LT(timer.elapsed(), limitMs);
        EXPECT_TRUE(qlx::test::entriesOf(local.path()).isEmpty())
            << qlx::test::entriesOf(local.path()).join(u' ').toStdString();
    }

    // Whatever state the failure left, a new connection to a sound server works.
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    auto good = FtpServer::startReal(home.path());
    ASSERT_NE(good, nullptr);
    ASSERT_TRUE(qlx::test::writeFile(home.filePath(QStringLiteral("Quillon_Down/pkg.zip")),
                                     qlx::test::allByteValues()));
    const QByteArray address = good->address().toLatin1();
    ASSERT_EQ(FTPConnect(address.constData(), FtpServer::user, FtpServer::password), FTP_OK);
    ASSERT_EQ(FTPsetCurrentDir("Quillon_Down"), FTP_OK);
    ASSERT_EQ(FTPgetFile("pkg.zip", target.constData(), 1), FTP_OK);
    EXPECT_TRUE(qlx::test::readFile(QString::fromLocal8Bit(target)) == qlx::test::allByteValues());
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpMisbehaviourTest,
                         ::testing::Values(Misbehaviour{"silent", true, FTP_E_TIMEOUT},
                                           Misbehaviour{"reject", true, FTP_E_LOGIN},
                                           Misbehaviour{"stall", false, FTP_E_TIMEOUT},
                                           Misbehaviour{"mute", false, FTP_E_TIMEOUT},
                                           Misbehaviour{"close", false, FTP_E_INCOMPLETE},
                                           Misbehaviour{"wrong-size", false, FTP_E_INCOMPLETE}),
                         [](const ::testing::TestParamInfo<Misbehaviour>& param) {
                             std::string name = param.param.mode;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

} // namespace
