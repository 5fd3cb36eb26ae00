// The file list and the BLOB selects, on every kind of connection.

#include "support/update_targets.h"
#include "tools/package_store.h"
#include "update/blob_fetch.h"
#include "update/repository.h"
#include "update/sqlite_blob_io.h"
#include "update/transaction.h"

#include <QSqlQuery>

#include <gtest/gtest.h>

#include <random>

// The DSN build of this test names its own targets and has no large BLOB case.
#ifndef QLX_TARGETS
#define QLX_TARGETS Sqlite, Postgres, OdbcSqliteConnectionString
#define QLX_LARGE_BLOB_TARGETS Sqlite, Postgres
#endif

namespace {

using namespace qlx;
using qlx::test::TargetKind;

QByteArray randomBytes(qsizetype n, unsigned seed) {
    QByteArray bytes(n, Qt::Uninitialized);
    std::mt19937 gen(seed);
    for (qsizetype i = 0; i < n; ++i) {
        bytes[i] = static_cast<char>(gen() & 0xff);
    }
    return bytes;
}

class RepositoryTest : public ::testing::TestWithParam<TargetKind> {
protected:
    void SetUp() override {
        QString error;
        target = test::UpdateTarget::make(GetParam(), error);
        ASSERT_TRUE(target) << error.toStdString();
        sqlca.DBMS = target->dbms;
        sqlca.ServerName = target->serverName;
        sqlca.LogId = target->logId;
        sqlca.LogPass = target->logPass;
        sqlca.AutoCommit = false;
        sqlca.DBParm = QStringLiteral("CommitOnDisconnect='No'");
    }

    void addBuild(const QString& table, const QString& name, const QString& fpath, long build,
                  const std::optional<QByteArray>& bytes) {
        QString error;
        ASSERT_TRUE(
            publish::insertBuildPackage(target->writer, table, {name, fpath, build, bytes}, error))
            << error.toStdString();
    }
    void addUpdate(const QString& id, const std::optional<QByteArray>& bytes) {
        QString error;
        ASSERT_TRUE(publish::insertUpdatePackage(target->writer, id, bytes, error))
            << error.toStdString();
    }
    void connect() {
        sqlca.connect();
        ASSERT_EQ(sqlca.SQLCode, 0) << sqlca.SQLErrText.toStdString();
    }

    std::unique_ptr<test::UpdateTarget> target;
    Transaction sqlca;
};

TEST_P(RepositoryTest, ListsBuildsFromTheArgumentOnInBuildOrder) {
    const QString t3 = QStringLiteral("QLX_UPT3");
    addBuild(t3, QStringLiteral("b7"), QStringLiteral("bin"), 7, QByteArray("7"));
    addBuild(t3, QStringLiteral("b5a"), QStringLiteral(""), 5, QByteArray("5"));
    addBuild(t3, QStringLiteral("b9"), QStringLiteral("C:\\abs\\dir"), 9, QByteArray("9"));
    addBuild(t3, QStringLiteral("b3"), QStringLiteral("old"), 3, QByteArray("3"));
    addBuild(t3, QStringLiteral("b6"), QStringLiteral("x"), 6, std::nullopt);
    addBuild(QStringLiteral("QLX_UPT2"), QStringLiteral("legacy"), QStringLiteral("l"), 8,
             QByteArray("8"));
    connect();

    w_filelist list(t3);
    list.setTransObject(sqlca);
    struct Case {
        long a_no;
        std::vector<QString> names;
    };
    const Case cases[] = {
        {5,
         {QStringLiteral("b5a"), QStringLiteral("b6"), QStringLiteral("b7"), QStringLiteral("b9")}},
        {9, {QStringLiteral("b9")}},
        {10, {}},
        {0,
         {QStringLiteral("b3"), QStringLiteral("b5a"), QStringLiteral("b6"), QStringLiteral("b7"),
          QStringLiteral("b9")}},
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
    EXPECT_EQ(list.rows()[0].fpath, QStringLiteral("C:\\abs\\dir"));

    w_filelist legacy(QStringLiteral("QLX_UPT2"));
    legacy.setTransObject(sqlca);
    ASSERT_EQ(legacy.retrieve(0), 1);
    EXPECT_EQ(legacy.rows()[0].filename, QStringLiteral("legacy"));
}

TEST_P(RepositoryTest, RetrieveIsNegativeOnError) {
    w_filelist list(QStringLiteral("QLX_UPT3"));
    list.setTransObject(sqlca);
    EXPECT_LT(list.retrieve(0), 0) << "not connected";

    connect();
    w_filelist missing(QStringLiteral("QLX_NO_SUCH_TABLE"));
    missing.setTransObject(sqlca);
    EXPECT_LT(missing.retrieve(0), 0);
    EXPECT_EQ(sqlca.SQLCode, -1);
    EXPECT_FALSE(sqlca.SQLErrText.isEmpty());
    EXPECT_TRUE(missing.rows().empty());
}

TEST_P(RepositoryTest, BlobSelectsHaveThreeOutcomes) {
    const QByteArray package = randomBytes(300 * 1024 + 17, 1);
    const QString t3 = QStringLiteral("QLX_UPT3");
    addBuild(t3, QStringLiteral("pkg"), QStringLiteral("bin"), 1, package);
    addBuild(t3, QStringLiteral("nullpkg"), QStringLiteral("bin"), 1, std::nullopt);
    addBuild(t3, QStringLiteral("empty"), QStringLiteral("bin"), 1, QByteArray(""));
    addBuild(t3, QStringLiteral("twice"), QStringLiteral("a"), 1, QByteArray("one"));
    addBuild(t3, QStringLiteral("twice"), QStringLiteral("b"), 2, QByteArray("two"));
    addUpdate(QStringLiteral("U-1"), package);
    addUpdate(QStringLiteral("U-null"), std::nullopt);
    connect();

    const std::optional<QByteArray> untouched = QByteArray("keep me");
    struct Case {
        const char* key;
        bool byUpdateId;
        std::optional<std::optional<QByteArray>> expected; // outer nullopt: untouched
        long sqlCode;
    };
    const Case cases[] = {
        {"pkg", false, std::optional<QByteArray>(package), 0},
        {"nullpkg", false, std::optional<QByteArray>(), 0},
        {"empty", false, std::optional<QByteArray>(QByteArray()), 0},
        {"absent", false, std::nullopt, 100},
        {"twice", false, std::nullopt, -1},
        {"U-1", true, std::optional<QByteArray>(package), 0},
        {"U-null", true, std::optional<QByteArray>(), 0},
        {"U-absent", true, std::nullopt, 100},
        {"", true, std::nullopt, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        std::optional<QByteArray> buffer = untouched;
        if (c.byUpdateId) {
            selectPackageByUpdateId(sqlca, QString::fromLatin1(c.key), buffer);
        } else {
            selectPackageByFileName(sqlca, t3, QString::fromLatin1(c.key), buffer);
        }
        EXPECT_EQ(sqlca.SQLCode, c.sqlCode) << sqlca.SQLErrText.toStdString();
        const std::optional<QByteArray> expected = c.expected ? *c.expected : untouched;
        ASSERT_EQ(buffer.has_value(), expected.has_value());
        if (buffer) {
            EXPECT_EQ(buffer->size(), expected->size());
            EXPECT_TRUE(*buffer == *expected);
        }
    }
}

TEST_P(RepositoryTest, BlobSelectLeavesTheBufferOnError) {
    std::optional<QByteArray> buffer = QByteArray("keep");
    selectPackageByUpdateId(sqlca, QStringLiteral("U-1"), buffer);
    EXPECT_EQ(sqlca.SQLCode, -1) << "not connected";
    connect();
    selectPackageByFileName(sqlca, QStringLiteral("QLX_NO_SUCH_TABLE"), QStringLiteral("x"),
                            buffer);
    EXPECT_EQ(sqlca.SQLCode, -1);
    ASSERT_TRUE(buffer);
    EXPECT_EQ(*buffer, QByteArray("keep"));
}

// The drivers whose BLOBs are read in parts rather than by one statement.
class LargeBlobTest : public RepositoryTest {};

TEST_P(LargeBlobTest, ArrivesWholeAtAndAcrossSliceBoundaries) {
    const QByteArray exact = randomBytes(2 * kBlobSliceBytes, 7);
    const QByteArray shortLast = randomBytes(2 * kBlobSliceBytes + 12345, 8);
    addBuild(QStringLiteral("QLX_UPT3"), QStringLiteral("exact"), QStringLiteral("bin"), 1, exact);
    addBuild(QStringLiteral("QLX_UPT3"), QStringLiteral("short"), QStringLiteral("bin"), 1,
             shortLast);
    connect();
    for (const auto& [name, package] : {std::pair{QStringLiteral("exact"), exact},
                                        std::pair{QStringLiteral("short"), shortLast}}) {
        SCOPED_TRACE(name.toStdString());
        std::optional<QByteArray> buffer = QByteArray();
        selectPackageByFileName(sqlca, QStringLiteral("QLX_UPT3"), name, buffer);
        EXPECT_EQ(sqlca.SQLCode, 0) << sqlca.SQLErrText.toStdString();
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
    EXPECT_EQ(w_filelist(QStringLiteral("QLX_UPT3")).query(),
              QStringLiteral("SELECT FILENAME, FPATH, BUILDNO FROM QLX_UPT3\r\nWHERE BUILDNO >= "
                             "?\r\nORDER BY BUILDNO"));
    EXPECT_EQ(w_filelist(QStringLiteral("QLX_UPT2")).query(),
              QStringLiteral("SELECT FILENAME, FPATH, BUILDNO FROM QLX_UPT2\r\nWHERE BUILDNO >= "
                             "?\r\nORDER BY BUILDNO"));
}

TEST(FileList, WithoutTransactionIsNegative) {
    w_filelist list(QStringLiteral("QLX_UPT3"));
    EXPECT_LT(list.retrieve(1), 0);
}

} // namespace

namespace {

// Without it a SQLite package is held twice while it is fetched.
TEST(SqliteBlobIo, ReachesTheDriversSqlite) {
    QString error;
    auto target = qlx::test::UpdateTarget::make(qlx::test::TargetKind::Sqlite, error);
    ASSERT_TRUE(target) << error.toStdString();
#ifdef Q_OS_WIN
    EXPECT_FALSE(qlx::SqliteBlobIo::available(target->writer));
#else
    EXPECT_TRUE(qlx::SqliteBlobIo::available(target->writer));
#endif
    QSqlDatabase none;
    EXPECT_FALSE(qlx::SqliteBlobIo::available(none));
}

} // namespace
