#include "support/packages.h"
#include "support/window_fixture.h"
#include "update/package_paths.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace qlx {
namespace {

class BuildListUpdate : public test::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        test::createSqliteUpdateDatabase(path(QStringLiteral("update.db")));
        writeSettings(QStringLiteral("SQLite"));
    }

    void writeSettings(const QString& dbms) {
        QFile f(path(QStringLiteral("quil.psr")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QStringLiteral(R"({"rows":[{"CODE":"DataBase-DBMS","VALUE":"%1"},)"
                               R"({"CODE":"QL_UPT_TIME","VALUE":"999"},)"
                               R"({"CODE":"Client-Only","VALUE":"keep me","extra":1}]})")
                    .arg(dbms)
                    .toUtf8());
    }

    void add(const QString& name, const QString& fpath, int build,
             const QMap<QString, QByteArray>& files) {
        test::addBuildPackage(path(QStringLiteral("update.db")), QStringLiteral("QLX_UPT3"), name,
                              fpath, build, test::makePackage(files));
    }

    // The settings value stored on disk for `code`.
    QJsonValue savedSetting(const QString& code) {
        const QJsonObject doc =
            QJsonDocument::fromJson(test::readFile(path(QStringLiteral("quil.psr")))).object();
        for (const QJsonValue& row : doc.value(QStringLiteral("rows")).toArray()) {
            if (row.toObject().value(QStringLiteral("CODE")).toString() == code) {
                return row.toObject().value(QStringLiteral("VALUE"));
            }
        }
        return QJsonValue(QJsonValue::Undefined);
    }

    QString run(const QString& extra = QStringLiteral("/BUILDNO=2;")) {
        makeWindow(QStringLiteral("/PID=1;/PSR=") + path(QStringLiteral("quil.psr")) +
                   QStringLiteral(";/SERVER=update.db;") + extra)
            .open();
        EXPECT_FALSE(port.closed);
        return window->uf_upgrade3(QString());
    }
};

TEST_F(BuildListUpdate, InstallsTheInstalledBuildAndLaterOnesAndKeepsThePackages) {
    add(QStringLiteral("old"), QStringLiteral("bin"), 1, {{"old.txt", "build 1"}});
    add(QStringLiteral("core"), QStringLiteral("bin"), 2,
        {{"a.txt", "build 2"}, {"sub/b.txt", "b"}});
    add(QStringLiteral("data"), QString(), 3, {{"data.txt", "build 3"}});

    EXPECT_EQ(run(), QStringLiteral("O"));
    EXPECT_TRUE(port.boxes.empty());
    EXPECT_EQ(test::readFile(path(QStringLiteral("bin/a.txt"))), "build 2");
    EXPECT_EQ(test::readFile(path(QStringLiteral("bin/sub/b.txt"))), "b");
    // An empty target folder is the installation folder itself.
    EXPECT_EQ(test::readFile(path(QStringLiteral("data.txt"))), "build 3");
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("bin/old.txt"))));
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("upt/core.zip"))));
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("upt/data.zip"))));
    EXPECT_EQ(currentFolder(), QDir::toNativeSeparators(install.path()));

    // Progress: 50 and 1 first, then the row count and one position per row.
    EXPECT_EQ(port.maximums, (std::vector<int>{50, 2}));
    EXPECT_EQ(port.positions, (std::vector<int>{1, 1, 2}));
    EXPECT_EQ(port.statusTag, QStringLiteral("2"));

    // The stamp is cleared on disk and the client's other rows survive.
    EXPECT_EQ(savedSetting(QStringLiteral("QL_UPT_TIME")).toString(), QString());
    EXPECT_EQ(savedSetting(QStringLiteral("Client-Only")).toString(), QStringLiteral("keep me"));
}

TEST_F(BuildListUpdate, LaterBuildsWinOverEarlierOnesWhateverTheRowOrder) {
    add(QStringLiteral("b5"), QStringLiteral("bin"), 5, {{"v.txt", "five"}});
    add(QStringLiteral("b3"), QStringLiteral("bin"), 3, {{"v.txt", "three"}});
    EXPECT_EQ(run(QStringLiteral("/BUILDNO=3;")), QStringLiteral("O"));
    EXPECT_EQ(test::readFile(path(QStringLiteral("bin/v.txt"))), "five");
}

TEST_F(BuildListUpdate, NothingToInstallStillSavesTheClearedStamp) {
    add(QStringLiteral("old"), QStringLiteral("bin"), 1, {{"old.txt", "x"}});
    EXPECT_EQ(run(QStringLiteral("/BUILDNO=7;")), QStringLiteral("O"));
    EXPECT_EQ(port.progressMaximum, 50);
    EXPECT_EQ(port.progressPosition, 1);
    EXPECT_EQ(savedSetting(QStringLiteral("QL_UPT_TIME")).toString(), QString());
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("upt"))));
}

TEST_F(BuildListUpdate, MissingOrNonNumericBuildListsEverything) {
    add(QStringLiteral("zero"), QStringLiteral("z"), 0, {{"z.txt", "0"}});
    for (const QString& extra : {QString(), QStringLiteral("/BUILDNO=abc;")}) {
        QDir(path(QStringLiteral("z"))).removeRecursively();
        EXPECT_EQ(run(extra), QStringLiteral("O"));
        EXPECT_EQ(test::readFile(path(QStringLiteral("z/z.txt"))), "0");
    }
}

TEST_F(BuildListUpdate, ABuildNumberIsANumberAndOneBeyond32BitsListsEverything) {
    add(QStringLiteral("b1"), QStringLiteral("one"), 1, {{"1.txt", "1"}});
    add(QStringLiteral("b3"), QStringLiteral("three"), 3, {{"3.txt", "3"}});
    for (const char* value : {"3.0", " 3.9", "3e0"}) {
        SCOPED_TRACE(value);
        QDir(path(QStringLiteral("one"))).removeRecursively();
        QDir(path(QStringLiteral("three"))).removeRecursively();
        EXPECT_EQ(run(QStringLiteral("/BUILDNO=%1;").arg(QLatin1String(value))),
                  QStringLiteral("O"));
        EXPECT_FALSE(QFile::exists(path(QStringLiteral("one/1.txt"))));
        EXPECT_TRUE(QFile::exists(path(QStringLiteral("three/3.txt"))));
    }
    QDir(path(QStringLiteral("three"))).removeRecursively();
    EXPECT_EQ(run(QStringLiteral("/BUILDNO=9999999999;")), QStringLiteral("O"));
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("one/1.txt"))));
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("three/3.txt"))));
}

TEST_F(BuildListUpdate, AnyBadPackageFailsTheRunInstallsNothingAndNamesEachOne) {
    const QString db = path(QStringLiteral("update.db"));
    test::addBuildPackage(db, QStringLiteral("QLX_UPT3"), QStringLiteral("nullblob"),
                          QStringLiteral("t"), 2, {}, true);
    test::addBuildPackage(db, QStringLiteral("QLX_UPT3"), QStringLiteral("notzip"),
                          QStringLiteral("t"), 2, "<html>error</html>");
    test::addBuildPackage(db, QStringLiteral("QLX_UPT3"), QStringLiteral("../escape"),
                          QStringLiteral("t"), 2, test::makePackage({{"e.txt", "e"}}));
    add(QStringLiteral("good"), QStringLiteral("t"), 2, {{"g.txt", "good"}});
    // A target below a file can be neither entered nor made.
    QFile blocker(path(QStringLiteral("afile")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    add(QStringLiteral("blocked"), QStringLiteral("afile/sub"), 3, {{"b.txt", "b"}});

    EXPECT_EQ(run(), QStringLiteral("X"));

    // One box, after the whole list was tried; a NULL package is no failure.
    ASSERT_EQ(port.boxes.size(), 1u);
    EXPECT_EQ(port.boxes[0].title, QStringLiteral("Err!"));
    const QStringList lines = port.boxes[0].text.split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 3) << port.boxes[0].text.toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("notzip.zip: 압축 파일이 아닙니다")));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("../escape.zip: ")));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("blocked.zip: 설치 폴더를 만들 수 없습니다")));
    // Nothing of the run is installed and nothing of it is left, but the
    // packages that were written.
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("t/g.txt"))));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("b.txt"))));
    EXPECT_EQ(QDir(path(QStringLiteral("t")))
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList());
    EXPECT_EQ(QDir(path(QStringLiteral("upt")))
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              (QStringList{"blocked.zip", "good.zip", "notzip.zip"}));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("escape.zip"))));
}

TEST_F(BuildListUpdate, OneNameInTwoBuildsInstallsEachBuildsOwnPackage) {
    add(QStringLiteral("core"), QStringLiteral("bin"), 12, {{"v.txt", "12"}, {"only12.txt", "a"}});
    add(QStringLiteral("core"), QStringLiteral("bin"), 13, {{"v.txt", "13"}});
    EXPECT_EQ(run(QStringLiteral("/BUILDNO=12;")), QStringLiteral("O"));
    EXPECT_TRUE(port.boxes.empty());
    EXPECT_EQ(test::readFile(path(QStringLiteral("bin/v.txt"))), "13");
    EXPECT_EQ(test::readFile(path(QStringLiteral("bin/only12.txt"))), "a");
}

TEST_F(BuildListUpdate, UnreachableDatabaseStampsTheSettingsAndAnswersX) {
    QFile::remove(path(QStringLiteral("update.db")));
    now = QDateTime(QDate(2010, 1, 2), QTime(0, 5, 59));
    EXPECT_EQ(run(), QStringLiteral("X"));
    ASSERT_EQ(port.boxes.size(), 1u);
    EXPECT_EQ(port.boxes[0].title, QStringLiteral("Err!"));
    EXPECT_TRUE(port.boxes[0].text.startsWith(QStringLiteral("-1/")))
        << port.boxes[0].text.toStdString();
    EXPECT_EQ(savedSetting(QStringLiteral("QL_UPT_TIME")).toString(), QStringLiteral("1445"));
}

TEST_F(BuildListUpdate, UnreachableDatabaseWithoutPsrSavesQuilPsrHere) {
    QFile::remove(path(QStringLiteral("update.db")));
    now = QDateTime(QDate(2026, 12, 8), QTime(23, 59));
    makeWindow(QStringLiteral("/PID=1;/PSR=  ;/SERVER=update.db;")).open();
    EXPECT_EQ(window->uf_upgrade3(QString()), QStringLiteral("X"));
    // quil.psr in the current folder is the file start-up read the settings from.
    const qint64 minutes = QDate(2010, 1, 1).daysTo(QDate(2026, 12, 8)) * 1440 + 23 * 60 + 59;
    EXPECT_EQ(savedSetting(QStringLiteral("QL_UPT_TIME")).toString(), QString::number(minutes));
    EXPECT_EQ(savedSetting(QStringLiteral("Client-Only")).toString(), QStringLiteral("keep me"));
}

} // namespace
} // namespace qlx
