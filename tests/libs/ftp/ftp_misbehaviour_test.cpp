// The ftp library against servers that fail: each failure is a negative result
// within the time-outs, leaves no file, and the next connection works.
#include "ftp_test_files.h"
#include "libs/ftp/ftp.h"
#include "support/ftp_server.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>

namespace {

using qlx::test::FtpServer;

constexpr short timeoutSeconds = 2;
// Every failure must show within the time-out it hits plus some slack for a
// loaded machine; the defaults (10 s) would exceed this.
constexpr std::chrono::milliseconds limit{3 * timeoutSeconds * 1000 + 2000};

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
    qlx::test::TempDir local;
    ASSERT_TRUE(local.isValid());
    const std::string target = local.filePath("pkg.zip");
    {
        auto bad = FtpServer::startMisbehaving(m.mode);
        ASSERT_NE(bad, nullptr);
        const std::string address = bad->address();

        const auto started = std::chrono::steady_clock::now();
        short result = FTPConnect(address.c_str(), FtpServer::user, FtpServer::password);
        if (m.failsAtConnect) {
            EXPECT_EQ(result, m.expected);
        } else {
            ASSERT_EQ(result, FTP_OK);
            ASSERT_EQ(FTPsetCurrentDir("Quillon_Down"), FTP_OK);
            result = FTPgetFile("pkg.zip", target.c_str(), 1);
            EXPECT_EQ(result, m.expected);
        }
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - started);
        EXPECT_LT(elapsed, limit) << elapsed.count() << " ms";
        EXPECT_TRUE(qlx::test::entriesOf(local.path()).empty())
            << qlx::test::joined(qlx::test::entriesOf(local.path()));
    }

    // Whatever state the failure left, a new connection to a sound server works.
    qlx::test::TempDir home;
    ASSERT_TRUE(home.isValid());
    auto good = FtpServer::startReal(home.path());
    ASSERT_NE(good, nullptr);
    ASSERT_TRUE(
        qlx::test::writeFile(home.filePath("Quillon_Down/pkg.zip"), qlx::test::allByteValues()));
    const std::string address = good->address();
    ASSERT_EQ(FTPConnect(address.c_str(), FtpServer::user, FtpServer::password), FTP_OK);
    ASSERT_EQ(FTPsetCurrentDir("Quillon_Down"), FTP_OK);
    ASSERT_EQ(FTPgetFile("pkg.zip", target.c_str(), 1), FTP_OK);
    EXPECT_TRUE(qlx::test::readFile(target) == qlx::test::allByteValues());
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
