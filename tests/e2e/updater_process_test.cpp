#include "support/child_processes.h"
#include "support/packages.h"
#include "support/updater_run.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLibraryInfo>

#include <gtest/gtest.h>

namespace qlx {
namespace {

class UpdaterProcess : public ::testing::Test {
protected:
    void SetUp() override {
        run.installStandInClient();
        QFile psr(run.path(QStringLiteral("quil.psr")));
        ASSERT_TRUE(psr.open(QIODevice::WriteOnly));
        psr.write(R"({"rows":[{"CODE":"DataBase-DBMS","VALUE":"SQLite"},)"
                  R"({"CODE":"QL_UPT_TIME","VALUE":"77"}]})");
        psr.close();
        db = run.path(QStringLiteral("update.db"));
        test::createSqliteUpdateDatabase(db);
        test::addBuildPackage(db, QStringLiteral("QLX_UPT3"), QStringLiteral("main"),
                              QStringLiteral("bin"), 4,
                              test::makePackage({{"quillon.dat", "v4"}, {"한글.txt", "가"}}));
        test::addBuildPackage(db, QStringLiteral("QLX_UPT2"), QStringLiteral("legacy"),
                              QStringLiteral("old"), 12, test::makePackage({{"l.txt", "12"}}));
    }

    test::UpdaterRun run;
    QString db;
};

TEST_F(UpdaterProcess, UpdatesFromSqliteAndRelaunchesTheClient) {
    const QString psr = run.path(QStringLiteral("quil.psr"));
    const int status =
        run.run(QStringLiteral("qlx_upt"), QStringLiteral("/PID=1;/PSR=") + psr +
                                               QStringLiteral(";/SERVER=update.db;/BUILDNO=3;"));
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(run.boxes().empty());
    EXPECT_EQ(test::readFile(run.path(QStringLiteral("bin/quillon.dat"))), "v4");
    EXPECT_EQ(test::readFile(run.path(QStringLiteral("bin/한글.txt"))), "가");
    EXPECT_TRUE(QFile::exists(run.path(QStringLiteral("upt/main.zip"))));
    EXPECT_EQ(test::settingIn(psr, QStringLiteral("QL_UPT_TIME")), QString());
    const auto arguments = run.clientArguments();
    ASSERT_TRUE(arguments.has_value());
    EXPECT_EQ(*arguments, QStringList{psr});
}

TEST_F(UpdaterProcess, UnreachableDatabaseTellsTheUserAndDoesNotRelaunch) {
    const QString psr = run.path(QStringLiteral("quil.psr"));
    const int status =
        run.run(QStringLiteral("qlx_upt"), QStringLiteral("/PID=1;/PSR=") + psr +
                                               QStringLiteral(";/SERVER=missing.db;/BUILDNO=3;"));
    EXPECT_EQ(status, 0);
    const auto boxes = run.boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].title, QStringLiteral("Err!"));
    EXPECT_EQ(boxes[1].title, QStringLiteral("에러!"));
    EXPECT_EQ(boxes[1].text, QStringLiteral("홈페이지에서 직접 업그레이드 하세요."));
    EXPECT_NE(test::settingIn(psr, QStringLiteral("QL_UPT_TIME")), QString());
    EXPECT_NE(test::settingIn(psr, QStringLiteral("QL_UPT_TIME")), QStringLiteral("77"));
    EXPECT_FALSE(run.clientArguments(500).has_value());
}

TEST_F(UpdaterProcess, NoArgumentsIsRefusedWithTheRealBox) {
    EXPECT_EQ(run.run(QStringLiteral("qlx_upt"), QString()), 0);
    const auto boxes = run.boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, QStringLiteral("확인!"));
    EXPECT_EQ(boxes[0].text, QStringLiteral("정상적인 업그레이드 방식이 아닙니다."));
    EXPECT_EQ(boxes[0].buttons, QStringLiteral("Ok"));
    // Built without QLX_UNATTENDED_BOXES, as users get it, the updater ignores
    // what answers the boxes here: its refusal waits for a person.
    EXPECT_EQ(run.run(QStringLiteral("qlx_upt_attended"), QString(), {}, {}, 3000), -1);
    EXPECT_EQ(run.boxes().size(), 1u);
}

TEST_F(UpdaterProcess, QuestionAboutRunningProgramsIsAskedAndDeclined) {
    testing::ChildProcesses processes;
    const quint32 a = processes.start(QStringLiteral("quillon"));
    const quint32 b = processes.start(QStringLiteral("ql_label"));
    EXPECT_EQ(run.run(QStringLiteral("qlx_upt"), QStringLiteral("/PID=1;/SERVER=update.db;"),
                      {QStringLiteral("escape")}),
              0);
    const auto boxes = run.boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].buttons, QStringLiteral("Yes,No"));
    EXPECT_TRUE(boxes[0].text.contains(QStringLiteral("2개 실행중입니다.")));
    EXPECT_EQ(boxes[1].text,
              QStringLiteral("Quillon와 관련된 모든 프로그램을 종료 후\r\n다시 시도해 주십시오."));
    EXPECT_TRUE(processes.alive(a));
    EXPECT_TRUE(processes.alive(b));
}

TEST_F(UpdaterProcess, SecondUpdaterIsRefused) {
    testing::ChildProcesses processes;
    processes.start(QStringLiteral("qlx_upt"));
    EXPECT_EQ(run.run(QStringLiteral("qlx_upt"), QStringLiteral("/PID=1;/SERVER=update.db;")), 0);
    const auto boxes = run.boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, QStringLiteral("확인! [02]"));
    EXPECT_FALSE(run.clientArguments(300).has_value());
}

TEST_F(UpdaterProcess, MissingExtractionLibraryEndsTheProgramWithAnError) {
    // A copy of the updater in a folder without its libraries.
    QTemporaryDir bin;
    const QString copy = bin.filePath(QStringLiteral("qlx_upt"));
    ASSERT_TRUE(
        QFile::copy(QCoreApplication::applicationDirPath() + QStringLiteral("/qlx_upt"), copy));
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::ExeOwner);
    const int status =
        run.run(copy, QStringLiteral("/PID=1;/PSR=quil.psr;/SERVER=update.db;/BUILDNO=3;"));
    EXPECT_EQ(status, 3);
    const auto boxes = run.boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.contains(QStringLiteral("libEZip.so")))
        << boxes[0].text.toStdString();
    EXPECT_FALSE(run.clientArguments(300).has_value());
}

// The installation folder is the users'; plugins come only from Qt's own
// folder, neither from beside the executable nor from where the environment
// points.
TEST_F(UpdaterProcess, LoadsPluginsOnlyFromQtsOwnFolder) {
    QTemporaryDir bin;
    QTemporaryDir elsewhere;
    const QString qts =
        QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms");
    for (const QTemporaryDir* folder : {&bin, &elsewhere}) {
        ASSERT_TRUE(QDir(folder->path()).mkpath(QStringLiteral("platforms")));
        ASSERT_TRUE(QFile::copy(qts + QStringLiteral("/libqoffscreen.so"),
                                folder->filePath(QStringLiteral("platforms/libqp.so"))));
    }
    const QString copy = bin.filePath(QStringLiteral("qlx_upt"));
    ASSERT_TRUE(
        QFile::copy(QCoreApplication::applicationDirPath() + QStringLiteral("/qlx_upt"), copy));
    // A qt.conf beside the executable could name any folder.
    QFile conf(bin.filePath(QStringLiteral("qt.conf")));
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
    conf.write(QStringLiteral("[Paths]\nPlugins=%1\n").arg(elsewhere.path()).toUtf8());
    conf.close();
    EXPECT_EQ(run.run(copy, QString(), {},
                      {QStringLiteral("QT_DEBUG_PLUGINS=1"),
                       QStringLiteral("QT_PLUGIN_PATH=") + elsewhere.path(),
                       QStringLiteral("QT_QPA_PLATFORM_PLUGIN_PATH=") +
                           elsewhere.filePath(QStringLiteral("platforms"))}),
              0);
    const QString log = QString::fromLocal8Bit(run.errorOutput());
    EXPECT_TRUE(log.contains(qts)) << "the plugin search is not logged";
    EXPECT_FALSE(log.contains(bin.path()));
    EXPECT_FALSE(log.contains(elsewhere.path()));
}

// The legacy updater's database interface is fixed; its "/SERVER=" names an
// ODBC data source, here one over the test's SQLite database.
class LegacyUpdaterProcess : public UpdaterProcess {
protected:
    void SetUp() override {
        UpdaterProcess::SetUp();
        QString driver;
        for (const char* candidate : {"/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so",
                                      "/usr/lib/odbc/libsqlite3odbc.so"}) {
            if (QFile::exists(QLatin1String(candidate))) {
                driver = QLatin1String(candidate);
            }
        }
        ASSERT_FALSE(driver.isEmpty()) << "the SQLite ODBC driver is not installed";
        QFile inst(odbc.filePath(QStringLiteral("odbcinst.ini")));
        ASSERT_TRUE(inst.open(QIODevice::WriteOnly));
        inst.write(QStringLiteral("[SQLite3]\nDriver=%1\n").arg(driver).toUtf8());
        inst.close();
        QFile ini(odbc.filePath(QStringLiteral("odbc.ini")));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(QStringLiteral("[QLX_LEGACY]\nDriver=SQLite3\nDatabase=%1\n").arg(db).toUtf8());
        ini.close();
        environment = {QStringLiteral("ODBCSYSINI=") + odbc.path(),
                       QStringLiteral("ODBCINI=") + odbc.filePath(QStringLiteral("odbc.ini"))};
    }
    QTemporaryDir odbc;
    QStringList environment;
};

TEST_F(LegacyUpdaterProcess, InstallsFromItsOwnTableWithoutProcessControl) {
    testing::ChildProcesses processes;
    const quint32 client = processes.start(QStringLiteral("quilmsg"));
    // A DataBase-DBMS row of its own has no effect on the legacy updater.
    const int status =
        run.run(QStringLiteral("qlx_upt3"),
                QStringLiteral("/PSR=quil.psr;/SERVER=QLX_LEGACY;/BUILDNO=12;"), {}, environment);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(run.boxes().empty());
    EXPECT_TRUE(processes.alive(client));
    EXPECT_EQ(test::readFile(run.path(QStringLiteral("old/l.txt"))), "12");
    // The current updater's table is not the legacy one's.
    EXPECT_FALSE(QFile::exists(run.path(QStringLiteral("bin/quillon.dat"))));
    const auto arguments = run.clientArguments();
    ASSERT_TRUE(arguments.has_value());
    EXPECT_EQ(*arguments, QStringList{QStringLiteral("quil.psr")});
}

TEST_F(LegacyUpdaterProcess, UnreachableSourceGivesErrThenTheWebSiteBox) {
    const int status =
        run.run(QStringLiteral("qlx_upt3"),
                QStringLiteral("/PSR=quil.psr;/SERVER=NO_SUCH_DSN;/BUILDNO=12;"), {}, environment);
    EXPECT_EQ(status, 0);
    const auto boxes = run.boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].title, QStringLiteral("Err!"));
    EXPECT_EQ(boxes[1].text, QStringLiteral("홈페이지에서 직접 업그레이드 하세요."));
    EXPECT_NE(test::settingIn(run.path(QStringLiteral("quil.psr")), QStringLiteral("QL_UPT_TIME")),
              QStringLiteral("77"));
}

} // namespace
} // namespace qlx
