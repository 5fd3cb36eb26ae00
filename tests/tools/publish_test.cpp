// The publisher as its users run it: a real process on real databases, and
// the repository reading back what it published.

#include "support/update_targets.h"
#include "update/repository.h"
#include "update/transaction.h"
#include "update/vexa_unzip.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using namespace qlx;
using qlx::test::TargetKind;

struct Outcome {
    int status = -1;
    QString out;
    QString err;
};

Outcome publish(const QStringList& args) {
    QProcess process;
    process.start(QStringLiteral(QLX_PUBLISH_PATH), args);
    process.waitForFinished(120000);
    Outcome run;
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

// A zip archive made by the system's zip tool.
QString makeZip(const QTemporaryDir& dir, const QString& name, const QByteArray& content) {
    const QString folder = dir.filePath(name + QLatin1String(".src"));
    QDir().mkpath(folder);
    QFile f(folder + QLatin1String("/payload.bin"));
    f.open(QIODevice::WriteOnly);
    f.write(content);
    f.close();
    const QString zip = dir.filePath(name + QLatin1String(".zip"));
    QProcess z;
    z.setWorkingDirectory(folder);
    z.start(QStringLiteral("zip"), {QStringLiteral("-q"), zip, QStringLiteral("payload.bin")});
    z.waitForFinished();
    return z.exitCode() == 0 ? zip : QString();
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

TEST(Publisher, HelpAndUsageErrors) {
    const Outcome help = publish({QStringLiteral("--help")});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.startsWith(QLatin1String("Usage: qlx_publish")));

    const Outcome ddl = publish({QStringLiteral("ddl-oracle")});
    EXPECT_EQ(ddl.status, 0);
    EXPECT_EQ(ddl.out.count(QLatin1String("CREATE TABLE")), 3);
    EXPECT_TRUE(ddl.out.contains(QLatin1String("QLX_UPT2 (FILENAME")));

    const QStringList db = {QStringLiteral("--dbms"), QStringLiteral("SQLite"),
                            QStringLiteral("--server"), QStringLiteral("/nonexistent/x.db")};
    const QStringList usage[] = {
        {},
        {QStringLiteral("--bogus")},
        db + QStringList{QStringLiteral("frobnicate")},
        db + QStringList{QStringLiteral("add-build"), QStringLiteral("a")},
        db + QStringList{QStringLiteral("add-build"), QStringLiteral("a"), QStringLiteral("p"),
                         QStringLiteral("twelve"), QStringLiteral("a.zip")},
        db + QStringList{QStringLiteral("list"), QStringLiteral("--table"),
                         QStringLiteral("QLX_UPT")},
        {QStringLiteral("list")},
        {QStringLiteral("--dbms")},
    };
    for (const QStringList& args : usage) {
        SCOPED_TRACE(args.join(u' ').toStdString());
        const Outcome run = publish(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(run.err.startsWith(QLatin1String("qlx_publish: "))) << run.err.toStdString();
    }
}

TEST(Publisher, FailuresExitWithOne) {
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("u.sqlite"));
    const QStringList base = {QStringLiteral("--dbms"), QStringLiteral("SQLite"),
                              QStringLiteral("--server"), db};
    const Outcome missing = publish(base + QStringList{QStringLiteral("list")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.err.contains(QLatin1String("does not exist"))) << missing.err.toStdString();
    EXPECT_FALSE(QFile::exists(db)) << "only init creates a database";

    ASSERT_EQ(publish(base + QStringList{QStringLiteral("init")}).status, 0);
    ASSERT_TRUE(QFile::exists(db));
    const QString notZip = dir.filePath(QStringLiteral("notes.zip"));
    {
        QFile f(notZip);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("this is not an archive");
    }
    const Outcome refused =
        publish(base + QStringList{QStringLiteral("add-build"), QStringLiteral("n"),
                                   QStringLiteral("bin"), QStringLiteral("1"), notZip});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.err.contains(QLatin1String("refusing"))) << refused.err.toStdString();
    const Outcome noFile =
        publish(base + QStringList{QStringLiteral("add-update"), QStringLiteral("U"),
                                   dir.filePath(QStringLiteral("none.zip"))});
    EXPECT_EQ(noFile.status, 1);
    const Outcome removeMissing =
        publish(base + QStringList{QStringLiteral("remove"), QStringLiteral("n")});
    EXPECT_EQ(removeMissing.status, 1);

    const Outcome list = publish(base + QStringList{QStringLiteral("list")});
    EXPECT_EQ(list.status, 0);
    EXPECT_TRUE(list.out.isEmpty()) << "nothing was published: " << list.out.toStdString();
}

class PublisherEndToEnd : public ::testing::TestWithParam<TargetKind> {};

TEST_P(PublisherEndToEnd, PublishedPackagesAreListedAndFetched) {
    QTemporaryDir dir;
    const QString good = makeZip(dir, QStringLiteral("good"), QByteArray(5000, 'g'));
    ASSERT_FALSE(good.isEmpty());
    if (vexa_unzip(good, dir.path()) != 0) {
        GTEST_SKIP() << "the extraction library on this build refuses every archive";
    }
    QString error;
    auto target = test::UpdateTarget::make(GetParam(), error);
    ASSERT_TRUE(target) << error.toStdString();
    const QStringList base = {QStringLiteral("--dbms"), target->dbms, QStringLiteral("--server"),
                              target->serverName};

    const Outcome init = publish(base + QStringList{QStringLiteral("init")});
    ASSERT_EQ(init.status, 0) << init.err.toStdString();
    const QString second = makeZip(dir, QStringLiteral("second"), QByteArray(70000, 's'));
    const QStringList adds[] = {
        {QStringLiteral("add-build"), QStringLiteral("late"), QStringLiteral("bin"),
         QStringLiteral("12"), second},
        {QStringLiteral("add-build"), QStringLiteral("early"), QStringLiteral(""),
         QStringLiteral("10"), good},
        {QStringLiteral("add-build"), QStringLiteral("legacy"), QStringLiteral("l"),
         QStringLiteral("12"), good, QStringLiteral("--table"), QStringLiteral("qlx_upt2")},
        {QStringLiteral("add-update"), QStringLiteral("U-7"), second},
    };
    for (const QStringList& add : adds) {
        const Outcome run = publish(base + add);
        EXPECT_EQ(run.status, 0) << run.err.toStdString();
    }
    const Outcome dup = publish(base + adds[1]);
    EXPECT_EQ(dup.status, 1);
    EXPECT_TRUE(dup.err.contains(QLatin1String("already"))) << dup.err.toStdString();

    const Outcome list = publish(base + QStringList{QStringLiteral("list")});
    ASSERT_EQ(list.status, 0) << list.err.toStdString();
    const QStringList lines = list.out.split(u'\n', Qt::SkipEmptyParts);
    const QString goodSize = QString::number(readAll(good).size());
    const QString secondSize = QString::number(readAll(second).size());
    EXPECT_EQ(lines, (QStringList{
                         QLatin1String("QLX_UPT3\tearly\t\t10\t") + goodSize,
                         QLatin1String("QLX_UPT3\tlate\tbin\t12\t") + secondSize,
                         QLatin1String("QLX_UPT2\tlegacy\tl\t12\t") + goodSize,
                         QLatin1String("QLX_UPT\tU-7\t") + secondSize,
                     }));

    {
        Transaction sqlca;
        sqlca.DBMS = target->dbms;
        sqlca.ServerName = target->serverName;
        sqlca.LogId = target->logId;
        sqlca.LogPass = target->logPass;
        sqlca.connect();
        ASSERT_EQ(sqlca.SQLCode, 0) << sqlca.SQLErrText.toStdString();
        w_filelist files(QStringLiteral("QLX_UPT3"));
        files.setTransObject(sqlca);
        ASSERT_EQ(files.retrieve(11), 1);
        EXPECT_EQ(files.rows()[0].filename, QStringLiteral("late"));
        std::optional<QByteArray> blob = QByteArray();
        selectPackageByFileName(sqlca, QStringLiteral("QLX_UPT3"), QStringLiteral("late"), blob);
        ASSERT_TRUE(blob);
        EXPECT_TRUE(*blob == readAll(second));
        blob = QByteArray();
        selectPackageByUpdateId(sqlca, QStringLiteral("U-7"), blob);
        ASSERT_TRUE(blob);
        EXPECT_TRUE(*blob == readAll(second));
        sqlca.disconnect();
    }

    EXPECT_EQ(publish(base + QStringList{QStringLiteral("remove"), QStringLiteral("late")}).status,
              0);
    EXPECT_EQ(
        publish(base + QStringList{QStringLiteral("remove-update"), QStringLiteral("U-7")}).status,
        0);
    EXPECT_EQ(publish(base + QStringList{QStringLiteral("remove"), QStringLiteral("legacy"),
                                         QStringLiteral("--table"), QStringLiteral("QLX_UPT2")})
                  .status,
              0);
    const Outcome after = publish(base + QStringList{QStringLiteral("list")});
    EXPECT_EQ(after.out, QLatin1String("QLX_UPT3\tearly\t\t10\t") + goodSize + QLatin1String("\n"));
}

std::string targetLabel(const ::testing::TestParamInfo<TargetKind>& param) {
    return test::targetName(param.param);
}

INSTANTIATE_TEST_SUITE_P(Targets, PublisherEndToEnd,
                         ::testing::Values(TargetKind::Sqlite, TargetKind::Postgres), targetLabel);

} // namespace
