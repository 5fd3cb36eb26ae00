#include "app/unexpected_error.h"
#include "update/outside_library.h"
#include "update/vexa_unzip.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// Its own executable: once the adapter has loaded the library it keeps it, so
// these cases must run in a process that never loaded it.
namespace {

class MissingLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(emptyFolder_.isValid());
        ASSERT_TRUE(clientFolder_.isValid());
        previousCurrent_ = QDir::currentPath();
        qlx::OutsideLibrary::setLibraryFolderForTesting(emptyFolder_.path());
    }
    void TearDown() override {
        qlx::OutsideLibrary::setLibraryFolderForTesting(QString());
        QDir::setCurrent(previousCurrent_);
    }

    QTemporaryDir emptyFolder_;
    QTemporaryDir clientFolder_;
    QString previousCurrent_;
};

TEST_F(MissingLibrary, IsTheUnexpectedErrorNamingTheLibrary) {
    try {
        qlx::vexa_unzip(clientFolder_.filePath(QStringLiteral("p.zip")), clientFolder_.path());
        FAIL() << "no unexpected error";
    } catch (const qlx::UnexpectedError& error) {
        EXPECT_TRUE(error.library().contains(QStringLiteral("EZip"))) << error.what();
        EXPECT_FALSE(error.reason().isEmpty());
    }
}

TEST_F(MissingLibrary, APlantedCopyInTheCurrentFolderIsNotLoaded) {
    const QString real = QCoreApplication::applicationDirPath() + QStringLiteral("/libEZip.so");
    ASSERT_TRUE(QFile::exists(real));
    ASSERT_TRUE(QFile::copy(real, clientFolder_.filePath(QStringLiteral("libEZip.so"))));
    ASSERT_TRUE(QFile::copy(real, clientFolder_.filePath(QStringLiteral("EZip"))));
    ASSERT_TRUE(QDir::setCurrent(clientFolder_.path()));

    EXPECT_THROW(qlx::vexa_unzip(QStringLiteral("p.zip"), QStringLiteral(".")),
                 qlx::UnexpectedError);
}

} // namespace
