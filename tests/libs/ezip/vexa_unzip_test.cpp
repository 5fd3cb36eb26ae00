#include "libs/ezip/ezip_codes.h"
#include "update/vexa_unzip.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// The adapter loads the real libEZip.so from the test's own folder, where the
// build puts it beside the executable.
class VexaUnzip : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(scratch_.isValid()); }

    QString path(const QString& name) const { return scratch_.filePath(name); }

    QTemporaryDir scratch_;
};

TEST_F(VexaUnzip, ExtractsThroughTheLibraryWithEightBitPaths) {
    // Hangul folder names reach the library as the system's 8-bit text.
    const QString source = path(QStringLiteral("원본"));
    const QString destination = path(QStringLiteral("대상 폴더"));
    ASSERT_TRUE(QDir().mkpath(source + QStringLiteral("/sub")));
    ASSERT_TRUE(QDir().mkpath(destination));
    QFile file(source + QStringLiteral("/sub/파일.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("package contents\n");
    file.close();
    const QString archive = path(QStringLiteral("패키지.zip"));
    QProcess zip;
    zip.setWorkingDirectory(source);
    zip.start(QStringLiteral("/usr/bin/zip"),
              {QStringLiteral("-q"), QStringLiteral("-r"), archive, QStringLiteral(".")});
    ASSERT_TRUE(zip.waitForFinished());
    ASSERT_EQ(zip.exitCode(), 0);

    EXPECT_EQ(qlx::vexa_unzip(archive, destination), 0L);

    QFile extracted(destination + QStringLiteral("/sub/파일.txt"));
    ASSERT_TRUE(extracted.open(QIODevice::ReadOnly));
    EXPECT_EQ(extracted.readAll(), QByteArray("package contents\n"));
}

TEST_F(VexaUnzip, PassesTheLibraryFailureCodeThrough) {
    QFile page(path(QStringLiteral("page.zip")));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.write("<html><body>502 Bad Gateway</body></html>\n");
    page.close();

    EXPECT_EQ(qlx::vexa_unzip(page.fileName(), scratch_.path()), static_cast<long>(EZIP_E_NOT_ZIP));
    EXPECT_EQ(qlx::vexa_unzip(page.fileName(), path(QStringLiteral("absent"))),
              static_cast<long>(EZIP_E_DESTINATION));
    EXPECT_EQ(qlx::vexa_unzip(QString(), scratch_.path()), static_cast<long>(EZIP_E_ARGUMENT));
}

} // namespace
