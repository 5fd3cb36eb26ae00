// The file list and the BLOB selects, on every kind of connection.

#include "db/blob_fetch.h"
#include "db/blob_slices.h"
#include "db/db_connection.h"
#include "db/repository.h"
#include "db/sqlite_blob_io.h"
#include "db/sqlite_connection.h"
#include "db/transaction.h"
#include "support/update_targets.h"
#include "tools/package_store.h"

#include <gtest/gtest.h>

#include <random>

// The DSN build of this test names its own targets and has no large BLOB case.
#ifndef QLX_TARGETS
#define QLX_TARGETS Sqlite, Postgres, OdbcSqliteConnectionString
#define QLX_LARGE_BLOB_TARGETS Sqlite, Postgres, OdbcSqliteConnectionString
#endif

namespace {

using namespace qlx;
using qlx::test::TargetKind;

Bytes randomBytes(std::size_t n, unsigned seed) {
    Bytes bytes(n);
    std::mt19937 gen(seed);
    for (char& byte : bytes) {
        byte = static_cast<char>(gen() & 0xff);
    }
    return bytes;
}

// The bytes of `text` as upper-case hexadecimal digits.
std::string hexOf(const std::string& text) {
    static const char* const digits = "0123456789ABCDEF";
    std::string hex;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        hex += digits[byte >> 4];
        hex += digits[byte & 0x0f];
    }
    return hex;
}

Bytes bytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

class RepositoryTest : public ::testing::TestWithParam<TargetKind> {
protected:
    void SetUp() override {
        std::string error;
        target = test::UpdateTarget::make(GetParam(), error);
        ASSERT_TRUE(target) << error;
        sqlca.DBMS = target->dbms;
        sqlca.ServerName = target->serverName;
        sqlca.LogId = target->logId;
        sqlca.LogPass = target->logPass;
        sqlca.AutoCommit = false;
        sqlca.DBParm = "CommitOnDisconnect='No'";
    }

    void addBuild(const std::string& table, const std::string& name, const std::string& fpath,
                  long build, const std::optional<Bytes>& bytes) {
        std::string error;
        ASSERT_TRUE(
            publish::insertBuildPackage(*target->writer, table, {name, fpath, build, bytes}, error))
            << error;
    }
    void addUpdate(const std::string& id, const std::optional<Bytes>& bytes) {
        std::string error;
        ASSERT_TRUE(publish::insertUpdatePackage(*target->writer, id, bytes, error)) << error;
    }
    void connect() {
        sqlca.connect();
        ASSERT_EQ(sqlca.SQLCode, 0) << sqlca.SQLErrText;
    }

    std::unique_ptr<test::UpdateTarget> target;
    Transaction sqlca;
};

TEST_P(RepositoryTest, ListsBuildsFromTheArgumentOnInBuildOrder) {
    const std::string t3 = "QLX_UPT3";
    addBuild(t3, "b7", "bin", 7, bytesOf("7"));
    addBuild(t3, "b5a", "", 5, bytesOf("5"));
    addBuild(t3, "b9", "C:\\abs\\dir", 9, bytesOf("9"));
    addBuild(t3, "b3", "old", 3, bytesOf("3"));
    addBuild(t3, "b6", "x", 6, std::nullopt);
    addBuild("QLX_UPT2", "legacy", "l", 8, bytesOf("8"));
    connect();

    w_filelist list(t3);
    list.setTransObject(sqlca);
    struct Case {
        long a_no;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {5, {"b5a", "b6", "b7", "b9"}},
        {9, {"b9"}},
        {10, {}},
        {0, {"b3", "b5a", "b6", "b7", "b9"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.a_no);
        ASSERT_EQ(list.retrieve(c.a_no), static_cast<long>(c.names.size()));
        ASSERT_EQ(list.rows().size(), c.names.size());
        for (size_t i = 0; i < c.names.size(); ++i) {
            EXPECT_EQ(list.rows()[i].filename, c.names[i]);
        }
    }
    ASSERT_EQ(list.retrieve(9), 1);
    EXPECT_EQ(list.rows()[0].fpath, "C:\\abs\\dir");
    EXPECT_EQ(list.rows()[0].buildno, 9);

    w_filelist legacy("QLX_UPT2");
    legacy.setTransObject(sqlca);
    ASSERT_EQ(legacy.retrieve(0), 1);
    EXPECT_EQ(legacy.rows()[0].filename, "legacy");
}

// Names and folders are Korean on the client's side: they must be stored as
// their UTF-8 bytes and come back as they went in, through every driver.
TEST_P(RepositoryTest, KoreanNamesKeepTheirBytes) {
    const std::string name = "한글 패키지";
    const std::string folder = "바탕 화면\\새 폴더";
    const Bytes package = bytesOf("가");
    addBuild("QLX_UPT3", name, folder, 4, package);
    const bool postgres = target->writer->productName() == "PostgreSQL";
    const std::unique_ptr<DbStatement> hex = target->writer->prepare(
        postgres ? "SELECT upper(encode(convert_to(FILENAME, 'UTF8'), 'hex')), "
                   "upper(encode(convert_to(FPATH, 'UTF8'), 'hex')) FROM QLX_UPT3"
                 : "SELECT hex(FILENAME), hex(FPATH) FROM QLX_UPT3");
    ASSERT_TRUE(hex && hex->execute() && hex->next() == DbStep::Row) << target->writer->lastError();
    std::optional<std::string> nameHex;
    std::optional<std::string> folderHex;
    ASSERT_TRUE(hex->readText(0, nameHex) && hex->readText(1, folderHex));
    EXPECT_EQ(nameHex, hexOf(name));
    EXPECT_EQ(folderHex, hexOf(folder));

    connect();
    w_filelist list("QLX_UPT3");
    list.setTransObject(sqlca);
    ASSERT_EQ(list.retrieve(0), 1) << sqlca.SQLErrText;
    EXPECT_EQ(list.rows()[0].filename, name);
    EXPECT_EQ(list.rows()[0].fpath, folder);
    std::optional<Bytes> buffer;
    selectPackageOfRow(sqlca, "QLX_UPT3", list.rows()[0], buffer);
    EXPECT_EQ(sqlca.SQLCode, 0) << sqlca.SQLErrText;
    EXPECT_EQ(buffer, package);
}

TEST_P(RepositoryTest, RetrieveIsNegativeOnError) {
    w_filelist list("QLX_UPT3");
    list.setTransObject(sqlca);
    EXPECT_LT(list.retrieve(0), 0) << "not connected";

    connect();
    w_filelist missing("QLX_NO_SUCH_TABLE");
    missing.setTransObject(sqlca);
    EXPECT_LT(missing.retrieve(0), 0);
    EXPECT_EQ(sqlca.SQLCode, -1);
    EXPECT_FALSE(sqlca.SQLErrText.empty());
    EXPECT_TRUE(missing.rows().empty());
}

TEST_P(RepositoryTest, BlobSelectsHaveThreeOutcomes) {
    const Bytes package = randomBytes(300 * 1024 + 17, 1);
    const std::string t3 = "QLX_UPT3";
    addBuild(t3, "pkg", "bin", 1, package);
    addBuild(t3, "nullpkg", "bin", 1, std::nullopt);
    addBuild(t3, "empty", "bin", 1, Bytes());
    addBuild(t3, "twice", "a", 1, bytesOf("one"));
    addBuild(t3, "twice", "b", 2, bytesOf("two"));
    addUpdate("U-1", package);
    addUpdate("U-null", std::nullopt);
    connect();

    const std::optional<Bytes> untouched = bytesOf("keep me");
    struct Case {
        const char* key;
        bool byUpdateId;
        std::optional<std::optional<Bytes>> expected; // outer nullopt: untouched
        long sqlCode;
    };
    const Case cases[] = {
        {"pkg", false, std::optional<Bytes>(package), 0},
        {"nullpkg", false, std::optional<Bytes>(), 0},
        {"empty", false, std::optional<Bytes>(Bytes()), 0},
        {"absent", false, std::nullopt, 100},
        {"twice", false, std::nullopt, -1},
        {"U-1", true, std::optional<Bytes>(package), 0},
        {"U-null", true, std::optional<Bytes>(), 0},
        {"U-absent", true, std::nullopt, 100},
        {"", true, std::nullopt, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        std::optional<Bytes> buffer = untouched;
        if (c.byUpdateId) {
            selectPackageByUpdateId(sqlca, c.key, buffer);
        } else {
            selectPackageByFileName(sqlca, t3, c.key, buffer);
        }
        EXPECT_EQ(sqlca.SQLCode, c.sqlCode) << sqlca.SQLErrText;
        const std::optional<Bytes> expected = c.expected ? *c.expected : untouched;
        ASSERT_EQ(buffer.has_value(), expected.has_value());
        if (buffer) {
            EXPECT_EQ(buffer->size(), expected->size());
            EXPECT_TRUE(*buffer == *expected);
        }
    }
}

TEST_P(RepositoryTest, BlobSelectLeavesTheBufferOnError) {
    std::optional<Bytes> buffer = bytesOf("keep");
    selectPackageByUpdateId(sqlca, "U-1", buffer);
    EXPECT_EQ(sqlca.SQLCode, -1) << "not connected";
    connect();
    selectPackageByFileName(sqlca, "QLX_NO_SUCH_TABLE", "x", buffer);
    EXPECT_EQ(sqlca.SQLCode, -1);
    ASSERT_TRUE(buffer);
    EXPECT_EQ(*buffer, bytesOf("keep"));
}

// Packages larger than the pieces and slices they are read and written in.
class LargeBlobTest : public RepositoryTest {};

TEST_P(LargeBlobTest, ArrivesWholeAtAndAcrossSliceBoundaries) {
    const auto slice = static_cast<std::size_t>(kBlobSliceBytes);
    const Bytes exact = randomBytes(2 * slice, 7);
    const Bytes shortLast = randomBytes(2 * slice * kBlobSlicesPerStatement + 12345, 8);
    addBuild("QLX_UPT3", "exact", "bin", 1, exact);
    addBuild("QLX_UPT3", "short", "bin", 1, shortLast);
    connect();
    for (const auto& [name, package] :
         {std::pair{std::string("exact"), exact}, std::pair{std::string("short"), shortLast}}) {
        SCOPED_TRACE(name);
        std::optional<Bytes> buffer = Bytes();
        selectPackageByFileName(sqlca, "QLX_UPT3", name, buffer);
        EXPECT_EQ(sqlca.SQLCode, 0) << sqlca.SQLErrText;
        ASSERT_TRUE(buffer);
        ASSERT_EQ(buffer->size(), package.size());
        EXPECT_TRUE(*buffer == package);
    }
}

std::string targetLabel(const ::testing::TestParamInfo<TargetKind>& param) {
    return test::targetName(param.param);
}

using enum qlx::test::TargetKind;
INSTANTIATE_TEST_SUITE_P(Targets, RepositoryTest, ::testing::Values(QLX_TARGETS), targetLabel);
#ifdef QLX_LARGE_BLOB_TARGETS
INSTANTIATE_TEST_SUITE_P(Targets, LargeBlobTest, ::testing::Values(QLX_LARGE_BLOB_TARGETS),
                         targetLabel);
#else
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(LargeBlobTest);
#endif

TEST(FileListQuery, IsTheListStatementWithItsOrder) {
    EXPECT_EQ(w_filelist("QLX_UPT3").query(),
              "SELECT FILENAME, FPATH, BUILDNO FROM QLX_UPT3\r\nWHERE BUILDNO >= ?\r\nORDER BY "
              "BUILDNO");
    EXPECT_EQ(w_filelist("QLX_UPT2").query(),
              "SELECT FILENAME, FPATH, BUILDNO FROM QLX_UPT2\r\nWHERE BUILDNO >= ?\r\nORDER BY "
              "BUILDNO");
}

TEST(FileList, WithoutTransactionIsNegative) {
    w_filelist list("QLX_UPT3");
    EXPECT_LT(list.retrieve(1), 0);
}

} // namespace

namespace {

// A SQLite package is written and read in place, never through a statement
// that would hold it a second time; the place must have the package's size.
TEST(SqliteBlobIo, WritesAndReadsInPlace) {
    std::string error;
    auto target = qlx::test::UpdateTarget::make(qlx::test::TargetKind::Sqlite, error);
    ASSERT_TRUE(target) << error;
    auto& db = dynamic_cast<qlx::SqliteConnection&>(*target->writer);
    ASSERT_TRUE(
        qlx::dbExecute(db, "INSERT INTO QLX_UPT (UPDATE_ID, UPFILE) VALUES ('U', zeroblob(5))"));
    const std::int64_t rowid = db.lastInsertRowid();
    EXPECT_FALSE(
        qlx::SqliteBlobIo::write(db.handle(), "QLX_UPT", "UPFILE", rowid, "123456", 6, error));
    EXPECT_NE(error.find("size"), std::string::npos) << error;
    ASSERT_TRUE(
        qlx::SqliteBlobIo::write(db.handle(), "QLX_UPT", "UPFILE", rowid, "12345", 5, error))
        << error;
    EXPECT_EQ(qlx::SqliteBlobIo::read(db.handle(), "QLX_UPT", "UPFILE", rowid, error),
              qlx::Bytes({'1', '2', '3', '4', '5'}));
    EXPECT_FALSE(qlx::SqliteBlobIo::read(db.handle(), "QLX_UPT", "UPFILE", rowid + 1, error));
}

} // namespace
