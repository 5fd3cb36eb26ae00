// The single-package update against real update databases: a SQLite file and
// a database of the PostgreSQL fixture.

#include "support/packages.h"
#include "support/update_targets.h"
#include "support/window_fixture.h"
#include "tools/package_store.h"

#include <QDir>
#include <QFile>

#include <optional>

namespace qlx {
namespace {

using test::TargetKind;

const QString kExtractionTitle = QStringLiteral("확인!");
const QString kExtractionText =
    QStringLiteral("업그레이중 오류가 있습니다. \r\n본사에 문의하세요.");

std::string targetLabel(const ::testing::TestParamInfo<TargetKind>& param) {
    return test::targetName(param.param);
}

class SinglePackageUpdate : public test::WindowFixture,
                            public ::testing::WithParamInterface<TargetKind> {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        QString error;
        target = test::UpdateTarget::make(GetParam(), error);
        ASSERT_TRUE(target) << error.toStdString();
        QFile f(path(QStringLiteral("quil.psr")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QStringLiteral(R"({"rows":[{"CODE":"DataBase-DBMS","VALUE":"%1"}]})")
                    .arg(target->dbms)
                    .toUtf8());
    }
    void TearDown() override {
        WindowFixture::TearDown();
        target.reset();
    }

    void add(const QString& id, const std::optional<QByteArray>& bytes) {
        QString error;
        ASSERT_TRUE(publish::insertUpdatePackage(target->writer, id, bytes, error))
            << error.toStdString();
    }

    // Starts the window with `fields` after the server and runs the update.
    QString run(const QString& fields) {
        makeWindow(QStringLiteral("/PID=1;/SERVER=") + target->serverName + u';' + fields).open();
        EXPECT_FALSE(port.closed);
        EXPECT_TRUE(port.boxes.empty());
        return window->uf_upgrade2(QString());
    }

    void expectOnlyBox(const QString& title, const QString& text) {
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

TEST_P(SinglePackageUpdate, ExtractsIntoTheInstallationFolderAndDeletesThePackage) {
    add(QStringLiteral("OTHER"), test::makePackage({{"a.txt", "other"}}));
    add(QStringLiteral("U-7"), test::makePackage({{"a.txt", "seven"}, {"sub/b.txt", "b"}}));
    ASSERT_FALSE(QFile::exists(path(QStringLiteral("tmp"))));

    EXPECT_EQ(run(QStringLiteral("/ID=U-7;/FILE=pkg.zip;")), QStringLiteral("O"));
    EXPECT_TRUE(port.boxes.empty());
    EXPECT_EQ(port.positions, steps(7));
    EXPECT_EQ(test::readFile(path(QStringLiteral("a.txt"))), "seven");
    EXPECT_EQ(test::readFile(path(QStringLiteral("sub/b.txt"))), "b");
    // The missing tmp folder was made for the package and stays.
    EXPECT_TRUE(QFileInfo(path(QStringLiteral("tmp"))).isDir());
    EXPECT_TRUE(QDir(path(QStringLiteral("tmp"))).isEmpty());
    EXPECT_FALSE(app.sqlca().isConnected());
}

TEST_P(SinglePackageUpdate, AStaleFileOfTheSameNameIsReplaced) {
    add(QStringLiteral("U1"), test::makePackage({{"fresh.txt", "fresh"}}));
    ASSERT_TRUE(QDir().mkdir(path(QStringLiteral("tmp"))));
    {
        QFile stale(path(QStringLiteral("tmp/pkg.zip")));
        ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
        stale.write(QByteArray(100000, 'S'));
    }
    EXPECT_EQ(run(QStringLiteral("/ID=U1;/FILE=pkg.zip;")), QStringLiteral("O"));
    EXPECT_EQ(test::readFile(path(QStringLiteral("fresh.txt"))), "fresh");
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("tmp/pkg.zip"))));
}

TEST_P(SinglePackageUpdate, ANullPackageIsReportedWithAnEmptyResult) {
    add(QStringLiteral("U1"), std::nullopt);
    const QString result = run(QStringLiteral("/ID=U1;/FILE=pkg.zip;"));
    EXPECT_TRUE(result.isEmpty());
    expectOnlyBox(QStringLiteral("File?"), QStringLiteral("File이 없습니다."));
    EXPECT_EQ(port.positions, steps(3));
    // Nothing reached the disk: not even the tmp folder was made.
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("tmp"))));
    EXPECT_FALSE(app.sqlca().isConnected());
}

TEST_P(SinglePackageUpdate, AnIdWithoutARowWritesAnEmptyFileThatFailsToExtract) {
    add(QStringLiteral("U1"), test::makePackage({{"a.txt", "one"}}));
    EXPECT_EQ(run(QStringLiteral("/ID=U2;/FILE=pkg.zip;")), QStringLiteral("X"));
    expectOnlyBox(kExtractionTitle, kExtractionText);
    EXPECT_EQ(port.positions, steps(5));
    const QFileInfo left(path(QStringLiteral("tmp/pkg.zip")));
    EXPECT_TRUE(left.isFile());
    EXPECT_EQ(left.size(), 0);
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("a.txt"))));
    EXPECT_FALSE(app.sqlca().isConnected());
}

TEST_P(SinglePackageUpdate, AMissingIdIsLookedUpAsTheEmptyId) {
    add(QStringLiteral("U1"), test::makePackage({{"a.txt", "named"}}));
    add(QString(QLatin1String("")), test::makePackage({{"a.txt", "empty id"}}));
    EXPECT_EQ(run(QStringLiteral("/FILE=pkg.zip;")), QStringLiteral("O"));
    EXPECT_EQ(test::readFile(path(QStringLiteral("a.txt"))), "empty id");
}

TEST_P(SinglePackageUpdate, AMissingFileNameFailsAtTheExtraction) {
    add(QStringLiteral("U1"), test::makePackage({{"a.txt", "one"}}));
    EXPECT_EQ(run(QStringLiteral("/ID=U1;")), QStringLiteral("X"));
    expectOnlyBox(kExtractionTitle, kExtractionText);
    EXPECT_EQ(port.positions, steps(5));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("a.txt"))));
    EXPECT_TRUE(QDir(path(QStringLiteral("tmp"))).isEmpty());
}

TEST_P(SinglePackageUpdate, APackageThatFailsToExtractStaysInTmp) {
    add(QStringLiteral("U1"), QByteArray("<html>not a package</html>"));
    EXPECT_EQ(run(QStringLiteral("/ID=U1;/FILE=pkg.zip;")), QStringLiteral("X"));
    expectOnlyBox(kExtractionTitle, kExtractionText);
    EXPECT_EQ(port.positions, steps(5));
    EXPECT_EQ(test::readFile(path(QStringLiteral("tmp/pkg.zip"))), "<html>not a package</html>");
    EXPECT_FALSE(app.sqlca().isConnected());
}

// A name that would leave tmp is never written: the package file would land
// on the sentinel, and the extraction that follows must not take it for one.
TEST_P(SinglePackageUpdate, AFileNameThatLeavesTmpIsNeverWritten) {
    add(QStringLiteral("U1"), test::makePackage({{"payload.txt", "payload"}}));
    const QByteArray sentinel = test::makePackage({{"sentinel.txt", "planted"}});
    const QStringList names = test::namesThatLeaveTheFolder(path(QStringLiteral("victim.zip")));
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        port.boxes.clear();
        port.positions.clear();
        QDir(path(QStringLiteral("tmp"))).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("tmp/sub"))));
        {
            QFile f(path(QStringLiteral("victim.zip")));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(sentinel);
        }
        EXPECT_EQ(run(QStringLiteral("/ID=U1;/FILE=") + name + u';'), QStringLiteral("X"));
        expectOnlyBox(kExtractionTitle, kExtractionText);
        EXPECT_TRUE(test::readFile(path(QStringLiteral("victim.zip"))) == sentinel);
        EXPECT_FALSE(QFile::exists(path(QStringLiteral("tmp/sub/victim.zip"))));
        EXPECT_FALSE(QFile::exists(path(QStringLiteral("payload.txt"))));
        EXPECT_FALSE(QFile::exists(path(QStringLiteral("sentinel.txt"))));
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
        QString error;
        server = test::PostgresServer::fromEnvFile(&error);
        ASSERT_TRUE(server) << error.toStdString();
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
    add(QStringLiteral("U1"), test::makePackage({{"a.txt", "second"}}));
    ASSERT_TRUE(server->setRolePassword(QString::fromLatin1(version_check::kSecondPassword)));
    EXPECT_EQ(run(QStringLiteral("/ID=U1;/FILE=pkg.zip;")), QStringLiteral("O"));
    EXPECT_TRUE(port.boxes.empty());
    EXPECT_EQ(test::readFile(path(QStringLiteral("a.txt"))), "second");
    EXPECT_EQ(app.sqlca().LogPass, QString::fromLatin1(version_check::kSecondPassword));
    EXPECT_FALSE(app.sqlca().isConnected());
}

TEST_P(SinglePackageUpdatePasswords, NeitherPasswordShowsTheDatabaseError) {
    add(QStringLiteral("U1"), test::makePackage({{"a.txt", "never"}}));
    ASSERT_TRUE(server->setRolePassword(QStringLiteral("NEITHER0000PASSWORD")));
    EXPECT_EQ(run(QStringLiteral("/ID=U1;/FILE=pkg.zip;")), QStringLiteral("X"));
    ASSERT_EQ(port.boxes.size(), 1u);
    EXPECT_EQ(port.boxes[0].title, QStringLiteral("Err!"));
    const QString text = port.boxes[0].text;
    EXPECT_TRUE(text.startsWith(QStringLiteral("-1/"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QLatin1String("password authentication failed")))
        << text.toStdString();
    EXPECT_EQ(port.positions, steps(2));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("tmp"))));
    EXPECT_FALSE(app.sqlca().isConnected());
}

INSTANTIATE_TEST_SUITE_P(Postgres, SinglePackageUpdatePasswords,
                         ::testing::Values(TargetKind::Postgres), targetLabel);

#endif

} // namespace
} // namespace qlx
