// The single-package update against real update databases: a SQLite file and
// a database of the PostgreSQL fixture.

#include "support/packages.h"
#include "support/test_files.h"
#include "support/update_targets.h"
#include "support/window_fixture.h"
#include "tools/package_store.h"

#include <filesystem>
#include <optional>

namespace qlx {
namespace {

namespace fs = std::filesystem;
using test::TargetKind;

const std::string kExtractionTitle = "확인!";
const std::string kExtractionText = "업그레이중 오류가 있습니다. \r\n본사에 문의하세요.";

std::string targetLabel(const ::testing::TestParamInfo<TargetKind>& param) {
    return test::targetName(param.param);
}

class SinglePackageUpdate : public test::WindowFixture,
                            public ::testing::WithParamInterface<TargetKind> {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        std::string error;
        target = test::UpdateTarget::make(GetParam(), error);
        ASSERT_TRUE(target) << error;
        ASSERT_TRUE(
            test::writeFile(path("quil.psr"), R"({"rows":[{"CODE":"DataBase-DBMS","VALUE":")" +
                                                  target->dbms + R"("}]})"));
    }
    void TearDown() override {
        WindowFixture::TearDown();
        target.reset();
    }

    void add(const std::string& id, const std::optional<Bytes>& bytes) {
        std::string error;
        ASSERT_TRUE(publish::insertUpdatePackage(*target->writer, id, bytes, error)) << error;
    }

    // Starts the window with `fields` after the server and runs the update.
    std::string run(const std::string& fields) {
        makeWindow("/PID=1;/SERVER=" + target->serverName + ";" + fields).open();
        EXPECT_FALSE(port.closed);
        EXPECT_TRUE(port.boxes.empty());
        return window->uf_upgrade2(std::string());
    }

    void expectOnlyBox(const std::string& title, const std::string& text) {
        ASSERT_EQ(port.boxes.size(), 1u);
        EXPECT_EQ(port.boxes[0].title, title);
        EXPECT_EQ(port.boxes[0].text, text);
    }

    [[nodiscard]] static std::vector<int> steps(int last) {
        std::vector<int> out;
        for (int i = 1; i <= last; ++i) {
            out.push_back(i);
        }
        return out;
    }

    std::unique_ptr<test::UpdateTarget> target;
};

#ifndef QLX_ROLE_PASSWORD_TESTS

Bytes bytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

bool isEmptyFolder(const std::string& folder) {
    std::error_code error;
    return fs::is_directory(folder, error) && fs::is_empty(folder, error);
}

TEST_P(SinglePackageUpdate, ExtractsIntoTheInstallationFolderAndDeletesThePackage) {
    add("OTHER", test::makePackage({{"a.txt", "other"}}));
    add("U-7", test::makePackage({{"a.txt", "seven"}, {"sub/b.txt", "b"}}));
    ASSERT_FALSE(fs::exists(path("tmp")));

    EXPECT_EQ(run("/ID=U-7;/FILE=pkg.zip;"), "O");
    EXPECT_TRUE(port.boxes.empty());
    EXPECT_EQ(port.positions, steps(7));
    EXPECT_EQ(test::readFile(path("a.txt")), "seven");
    EXPECT_EQ(test::readFile(path("sub/b.txt")), "b");
    // The missing tmp folder was made for the package and stays.
    EXPECT_TRUE(isEmptyFolder(path("tmp")));
    EXPECT_FALSE(app.sqlca().isConnected());
}

TEST_P(SinglePackageUpdate, AStaleFileOfTheSameNameIsReplaced) {
    add("U1", test::makePackage({{"fresh.txt", "fresh"}}));
    ASSERT_TRUE(test::writeFile(path("tmp/pkg.zip"), std::string(100000, 'S')));
    EXPECT_EQ(run("/ID=U1;/FILE=pkg.zip;"), "O");
    EXPECT_EQ(test::readFile(path("fresh.txt")), "fresh");
    EXPECT_FALSE(fs::exists(path("tmp/pkg.zip")));
}

TEST_P(SinglePackageUpdate, ANullPackageIsReportedWithAnEmptyResult) {
    add("U1", std::nullopt);
    const std::string result = run("/ID=U1;/FILE=pkg.zip;");
    EXPECT_TRUE(result.empty());
    expectOnlyBox("File?", "File이 없습니다.");
    EXPECT_EQ(port.positions, steps(3));
    // Nothing reached the disk: not even the tmp folder was made.
    EXPECT_FALSE(fs::exists(path("tmp")));
    EXPECT_FALSE(app.sqlca().isConnected());
}

TEST_P(SinglePackageUpdate, AnIdWithoutARowWritesAnEmptyFileThatFailsToExtract) {
    add("U1", test::makePackage({{"a.txt", "one"}}));
    EXPECT_EQ(run("/ID=U2;/FILE=pkg.zip;"), "X");
    expectOnlyBox(kExtractionTitle, kExtractionText);
    EXPECT_EQ(port.positions, steps(5));
    EXPECT_TRUE(test::fileExists(path("tmp/pkg.zip")));
    EXPECT_EQ(test::readFile(path("tmp/pkg.zip")), "");
    EXPECT_FALSE(fs::exists(path("a.txt")));
    EXPECT_FALSE(app.sqlca().isConnected());
}

TEST_P(SinglePackageUpdate, AMissingIdIsLookedUpAsTheEmptyId) {
    add("U1", test::makePackage({{"a.txt", "named"}}));
    add("", test::makePackage({{"a.txt", "empty id"}}));
    EXPECT_EQ(run("/FILE=pkg.zip;"), "O");
    EXPECT_EQ(test::readFile(path("a.txt")), "empty id");
}

TEST_P(SinglePackageUpdate, AMissingFileNameFailsAtTheExtraction) {
    add("U1", test::makePackage({{"a.txt", "one"}}));
    EXPECT_EQ(run("/ID=U1;"), "X");
    expectOnlyBox(kExtractionTitle, kExtractionText);
    EXPECT_EQ(port.positions, steps(5));
    EXPECT_FALSE(fs::exists(path("a.txt")));
    EXPECT_TRUE(isEmptyFolder(path("tmp")));
}

TEST_P(SinglePackageUpdate, APackageThatFailsToExtractStaysInTmp) {
    add("U1", bytesOf("<html>not a package</html>"));
    EXPECT_EQ(run("/ID=U1;/FILE=pkg.zip;"), "X");
    expectOnlyBox(kExtractionTitle, kExtractionText);
    EXPECT_EQ(port.positions, steps(5));
    EXPECT_EQ(test::readFile(path("tmp/pkg.zip")), "<html>not a package</html>");
    EXPECT_FALSE(app.sqlca().isConnected());
}

// A name that would leave tmp is never written: the package file would land
// on the sentinel, and the extraction that follows must not take it for one.
TEST_P(SinglePackageUpdate, AFileNameThatLeavesTmpIsNeverWritten) {
    add("U1", test::makePackage({{"payload.txt", "payload"}}));
    const Bytes sentinel = test::makePackage({{"sentinel.txt", "planted"}});
    const std::string sentinelText(sentinel.begin(), sentinel.end());
    for (const std::string& name : test::namesThatLeaveTheFolder(path("victim.zip"))) {
        SCOPED_TRACE(name);
        port.boxes.clear();
        port.positions.clear();
        std::error_code error;
        fs::remove_all(path("tmp"), error);
        ASSERT_TRUE(fs::create_directories(path("tmp/sub"), error));
        ASSERT_TRUE(test::writeFile(path("victim.zip"), sentinelText));
        EXPECT_EQ(run("/ID=U1;/FILE=" + name + ";"), "X");
        expectOnlyBox(kExtractionTitle, kExtractionText);
        EXPECT_TRUE(test::readFile(path("victim.zip")) == sentinelText);
        EXPECT_FALSE(fs::exists(path("tmp/sub/victim.zip")));
        EXPECT_FALSE(fs::exists(path("payload.txt")));
        EXPECT_FALSE(fs::exists(path("sentinel.txt")));
        EXPECT_FALSE(app.sqlca().isConnected());
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, SinglePackageUpdate,
                         ::testing::Values(TargetKind::Sqlite, TargetKind::Postgres), targetLabel);

#else

// The login role's password is changed under the update: these run alone and
// put the fixture's password back.
class SinglePackageUpdatePasswords : public SinglePackageUpdate {
protected:
    void SetUp() override {
        SinglePackageUpdate::SetUp();
        std::string error;
        server = test::PostgresServer::fromEnvFile(&error);
        ASSERT_TRUE(server) << error;
    }
    void TearDown() override {
        if (server) {
            EXPECT_TRUE(server->setRolePassword(server->rolePassword()));
        }
        SinglePackageUpdate::TearDown();
    }
    std::optional<test::PostgresServer> server;
};

TEST_P(SinglePackageUpdatePasswords, TheSecondPasswordIsTriedAfterTheFirstFails) {
    add("U1", test::makePackage({{"a.txt", "second"}}));
    ASSERT_TRUE(server->setRolePassword(version_check::kSecondPassword));
    EXPECT_EQ(run("/ID=U1;/FILE=pkg.zip;"), "O");
    EXPECT_TRUE(port.boxes.empty());
    EXPECT_EQ(test::readFile(path("a.txt")), "second");
    EXPECT_EQ(app.sqlca().LogPass, version_check::kSecondPassword);
    EXPECT_FALSE(app.sqlca().isConnected());
}

TEST_P(SinglePackageUpdatePasswords, NeitherPasswordShowsTheDatabaseError) {
    add("U1", test::makePackage({{"a.txt", "never"}}));
    ASSERT_TRUE(server->setRolePassword("NEITHER0000PASSWORD"));
    EXPECT_EQ(run("/ID=U1;/FILE=pkg.zip;"), "X");
    ASSERT_EQ(port.boxes.size(), 1u);
    EXPECT_EQ(port.boxes[0].title, "Err!");
    const std::string text = port.boxes[0].text;
    EXPECT_TRUE(text.starts_with("-1/")) << text;
    EXPECT_NE(text.find("password authentication failed"), std::string::npos) << text;
    EXPECT_EQ(port.positions, steps(2));
    EXPECT_FALSE(fs::exists(path("tmp")));
    EXPECT_FALSE(app.sqlca().isConnected());
}

INSTANTIATE_TEST_SUITE_P(Postgres, SinglePackageUpdatePasswords,
                         ::testing::Values(TargetKind::Postgres), targetLabel);

#endif

} // namespace
} // namespace qlx
