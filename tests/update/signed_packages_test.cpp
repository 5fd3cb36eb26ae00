// The three update methods of an updater built with the publisher's key: the
// build-list update on a SQLite file, the single-package update on SQLite and
// PostgreSQL, and the FTP update from pyftpdlib. Packages come signed from the
// publisher; whoever else writes a row or a file is the attacker.

#include "db/blob_rows.h"
#include "package/package_failure.h"
#include "package/package_signature.h"
#include "support/ftp_server.h"
#include "support/packages.h"
#include "support/publisher.h"
#include "support/test_files.h"
#include "support/update_targets.h"
#include "support/window_fixture.h"
#include "tools/package_store.h"

#include <algorithm>
#include <filesystem>
#include <utility>

namespace qlx {
namespace {

namespace fs = std::filesystem;
using test::TargetKind;

std::string textOf(const Bytes& bytes) {
    return {bytes.begin(), bytes.end()};
}

class SignedPackages : public test::WindowFixture {
protected:
    SignedPackages() : WindowFixture({test::testPackageKey()}) {}

    void writeSettings(const std::string& dbms) {
        ASSERT_TRUE(test::writeFile(
            path("quil.psr"), R"({"rows":[{"CODE":"DataBase-DBMS","VALUE":")" + dbms + R"("}]})"));
    }
    void expectOnlyBox(const std::string& title, const std::string& text) {
        ASSERT_EQ(port.boxes.size(), 1u);
        EXPECT_EQ(port.boxes[0].title, title);
        EXPECT_EQ(port.boxes[0].text, text);
    }
};

// Whatever byte of a signed package changes, and whoever else signs it, the
// run fails on it and installs nothing; the signed original then installs.
TEST_F(SignedPackages, BuildListRefusesEveryChangeAndEveryOtherSigner) {
    writeSettings("SQLite");
    ASSERT_TRUE(test::writeFile(path("t/old.txt"), "old build"));
    const Bytes zip = test::makePackage({{"v.txt", std::string(40000, 'v')}, {"w.txt", "w"}});
    const PackagePlace victimRow = buildPlace("QLX_UPT3", "victim", "v", 2);
    const Bytes good = test::signedWith(zip, victimRow);
    ASSERT_FALSE(good.empty());
    test::TempDir keys;
    ASSERT_EQ(test::runPublisher({"keygen", keys.path()}).status, 0);

    struct Case {
        std::string what;
        Bytes bytes;
    };
    std::vector<Case> cases;
    const std::size_t size = good.size();
    const std::size_t record =
        *endRecordOf(reinterpret_cast<const unsigned char*>(good.data()), good.size());
    for (const std::size_t offset :
         {std::size_t{0}, size / 4, size / 2, record - 1, record, record + 16,
          record + kCommentLengthOffset, record + kEndRecordSize, size - 2, size - 1}) {
        cases.push_back({"byte " + std::to_string(offset), test::withChangedByte(good, offset)});
    }
    // The same signature spelt with one upper-case digit is another byte too.
    Bytes upper = good;
    const auto letter = std::find_if(upper.end() - 2 * kSignatureSize, upper.end(),
                                     [](char c) { return c >= 'a' && c <= 'f'; });
    ASSERT_NE(letter, upper.end());
    *letter = static_cast<char>(*letter - 'a' + 'A');
    cases.push_back({"upper-case digit", upper});
    Bytes stripped(good.begin(),
                   good.begin() + static_cast<std::ptrdiff_t>(record + kEndRecordSize));
    stripped[record + kCommentLengthOffset] = 0;
    cases.push_back({"comment stripped", stripped});
    // The extraction reads an archive whose comment runs past the end of the
    // file, or that has bytes in front of it; neither keeps a signature.
    cases.push_back({"comment cut short", Bytes(good.begin(), good.end() - 9)});
    Bytes stubbed = test::makePackage({{"s", "s"}});
    stubbed.insert(stubbed.end(), good.begin(), good.end());
    cases.push_back({"stub in front", stubbed});
    // An empty archive's record, whose comment runs past the end of the file.
    Bytes appended = good;
    const std::string emptyRecord("PK\x05\x06\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\x28\0cut", 25);
    appended.insert(appended.end(), emptyRecord.begin(), emptyRecord.end());
    cases.push_back({"record with a comment past the end appended", appended});
    cases.push_back({"unsigned", zip});
    cases.push_back(
        {"another key", test::signedWith(zip, victimRow, keys.filePath("package.key"))});
    cases.push_back(
        {"signed twice", test::signedWith(good, victimRow, keys.filePath("package.key"))});

    // The publisher's own package of the run, in a database each case copies.
    const std::string zipFile = path("base.zip");
    ASSERT_TRUE(test::writeFile(zipFile, textOf(test::makePackage({{"base.txt", "b"}}))));
    test::createSqliteUpdateDatabase(path("published.db"));
    const test::PublisherRun published =
        test::runPublisher({"--key", test::testSecretKeyPath(), "--dbms", "SQLite", "--server",
                            path("published.db"), "add-build", "base", "t", "2", zipFile});
    ASSERT_EQ(published.status, 0) << published.err;

    const auto runWith = [&](const std::string& db, const Bytes& victim) {
        fs::copy_file(path("published.db"), path(db));
        test::addBuildPackage(path(db), "QLX_UPT3", "victim", "v", 2, victim);
        port.boxes.clear();
        makeWindow("/PID=1;/PSR=quil.psr;/SERVER=" + db + ";/BUILDNO=2;").open();
        return window->uf_upgrade3(std::string());
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].what);
        EXPECT_EQ(runWith("case" + std::to_string(i) + ".db", cases[i].bytes), "X");
        expectOnlyBox("Err!", std::string("victim.zip: ") + kNotSignedReason);
        EXPECT_EQ(test::readFile(path("t/old.txt")), "old build");
        EXPECT_FALSE(fs::exists(path("t/base.txt")));
        EXPECT_FALSE(fs::exists(path("v")));
    }
    EXPECT_EQ(runWith("good.db", good), "O");
    EXPECT_TRUE(port.boxes.empty());
    EXPECT_EQ(test::readFile(path("v/w.txt")), "w");
    EXPECT_EQ(test::readFile(path("t/base.txt")), "b");
}

class SignedSinglePackage : public SignedPackages,
                            public ::testing::WithParamInterface<TargetKind> {
protected:
    void SetUp() override {
        SignedPackages::SetUp();
        std::string error;
        target = test::UpdateTarget::make(GetParam(), error);
        ASSERT_TRUE(target) << error;
        writeSettings(target->dbms);
    }
    void TearDown() override {
        SignedPackages::TearDown();
        target.reset();
    }
    std::string run(const std::string& fields) {
        port.boxes.clear();
        makeWindow("/PID=1;/SERVER=" + target->serverName + ";" + fields).open();
        return window->uf_upgrade2(std::string());
    }

    std::unique_ptr<test::UpdateTarget> target;
};

TEST_P(SignedSinglePackage, InstallsWhatThePublisherSignedAndNothingElse) {
    const std::string zipFile = path("good.zip");
    ASSERT_TRUE(test::writeFile(zipFile, textOf(test::makePackage({{"a.txt", "signed"}}))));
    const test::PublisherRun published =
        test::runPublisher({"--key", test::testSecretKeyPath(), "--dbms", target->dbms, "--server",
                            target->serverName, "add-update", "U-1", zipFile});
    ASSERT_EQ(published.status, 0) << published.err;
    const Bytes bad = test::makePackage({{"b.txt", "bad"}});
    const Bytes signedBad = test::signedWith(bad, updatePlace("U-2"));
    std::string error;
    ASSERT_TRUE(publish::insertUpdatePackage(
        *target->writer, "U-2", test::withChangedByte(signedBad, signedBad.size() / 2), error))
        << error;
    ASSERT_TRUE(publish::insertUpdatePackage(*target->writer, "U-3", bad, error)) << error;
    // The publisher's own package, under an UPDATE_ID it was not signed for.
    std::optional<Bytes> signedOne;
    target->writer->readBlob(BlobSelect{"QLX_UPT", "UPFILE", {{"UPDATE_ID", std::string("U-1")}}})
        .bytes.swap(signedOne);
    ASSERT_TRUE(signedOne);
    ASSERT_TRUE(publish::insertUpdatePackage(*target->writer, "U-4", *signedOne, error)) << error;

    for (const auto& [id, reason] : {std::pair{"U-2", kNotSignedReason},
                                     {"U-3", kNotSignedReason},
                                     {"U-4", kWrongPlaceReason}}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(run(std::string("/ID=") + id + ";/FILE=bad.zip;"), "X");
        expectOnlyBox(kNotSignedTitle, notSignedText("bad.zip", reason));
        EXPECT_FALSE(fs::exists(path("b.txt")));
        EXPECT_FALSE(fs::exists(path("a.txt")));
        EXPECT_TRUE(fs::exists(path("tmp/bad.zip")));
    }
    EXPECT_EQ(run("/ID=U-1;/FILE=pkg.zip;"), "O");
    EXPECT_TRUE(port.boxes.empty());
    EXPECT_EQ(test::readFile(path("a.txt")), "signed");
    EXPECT_FALSE(fs::exists(path("tmp/pkg.zip")));
}

std::string targetLabel(const ::testing::TestParamInfo<TargetKind>& param) {
    return test::targetName(param.param);
}

INSTANTIATE_TEST_SUITE_P(Targets, SignedSinglePackage,
                         ::testing::Values(TargetKind::Sqlite, TargetKind::Postgres), targetLabel);

TEST_F(SignedPackages, FtpRefusesATamperedFileAndInstallsASignedOne) {
    test::TempDir home;
    const auto server = test::FtpServer::startReal(home.path());
    ASSERT_NE(server, nullptr);
    ftpServer = server->address();
    const Bytes good = test::signedWith(test::makePackage({{"a.txt", "ftp"}}), ftpPlace("pkg.zip"));
    const Bytes bad = test::signedWith(test::makePackage({{"b.txt", "bad"}}), ftpPlace("bad.zip"));
    ASSERT_TRUE(test::writeFile(home.filePath("Quillon_Down/pkg.zip"), textOf(good)));
    ASSERT_TRUE(test::writeFile(home.filePath("Quillon_Down/bad.zip"),
                                textOf(test::withChangedByte(bad, 40))));
    // The signed package under a name it was not signed for.
    ASSERT_TRUE(test::writeFile(home.filePath("Quillon_Down/other.zip"), textOf(good)));
    ASSERT_TRUE(fs::create_directory(path("tmp")));

    for (const auto& [file, reason] :
         {std::pair{"bad.zip", kNotSignedReason}, {"other.zip", kWrongPlaceReason}}) {
        SCOPED_TRACE(file);
        port.boxes.clear();
        makeWindow(std::string("/PID=1;/FILE=") + file + ";").open();
        EXPECT_EQ(window->uf_upgrade(std::string()), "X");
        expectOnlyBox(kNotSignedTitle, notSignedText(file, reason));
        EXPECT_FALSE(fs::exists(path("b.txt")));
        EXPECT_FALSE(fs::exists(path("a.txt")));
        EXPECT_TRUE(fs::exists(path("tmp/") + file));
    }

    port.boxes.clear();
    makeWindow("/PID=1;/FILE=pkg.zip;").open();
    EXPECT_EQ(window->uf_upgrade(std::string()), "O");
    EXPECT_TRUE(port.boxes.empty());
    EXPECT_EQ(test::readFile(path("a.txt")), "ftp");
}

} // namespace
} // namespace qlx
