#include "base/unexpected_error.h"
#include "package/vexa_unzip.h"
#include "platform/files.h"
#include "platform/library_loader.h"
#include "platform/outside_library.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>

// Its own executable: once the adapter has loaded the library it keeps it, so
// these cases must run in a process that never loaded it.
namespace {

class MissingLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(emptyFolder_.isValid());
        ASSERT_TRUE(clientFolder_.isValid());
        previousCurrent_ = qlx::currentFolder();
        ASSERT_FALSE(previousCurrent_.empty());
        qlx::OutsideLibrary::setLibraryFolderForTesting(emptyFolder_.path());
    }
    void TearDown() override {
        qlx::OutsideLibrary::setLibraryFolderForTesting("");
        qlx::setCurrentFolder(previousCurrent_);
    }

    // Copies `from` to `to`; false, with the reason recorded, when it fails.
    static bool copy(const std::string& from, const std::string& to) {
        std::error_code error;
        std::filesystem::copy_file(from, to, error);
        EXPECT_FALSE(error) << from << " -> " << to << ": " << error.message();
        return !error;
    }

    qlx::test::TempDir emptyFolder_;
    qlx::test::TempDir clientFolder_;
    std::string previousCurrent_;
};

TEST_F(MissingLibrary, IsTheUnexpectedErrorNamingTheLibrary) {
    try {
        qlx::vexa_unzip(clientFolder_.filePath("p.zip"), clientFolder_.path());
        FAIL() << "no unexpected error";
    } catch (const qlx::UnexpectedError& error) {
        EXPECT_NE(error.library().find("EZip"), std::string::npos) << error.what();
        EXPECT_FALSE(error.reason().empty());
    }
}

TEST_F(MissingLibrary, APlantedCopyInTheCurrentFolderIsNotLoaded) {
    const std::string real = qlx::executableFolder() + "/" EZIP_FILE_NAME;
    ASSERT_TRUE(qlx::test::fileExists(real));
    ASSERT_TRUE(copy(real, clientFolder_.filePath(EZIP_FILE_NAME)));
    ASSERT_TRUE(copy(real, clientFolder_.filePath("EZip")));
    ASSERT_TRUE(qlx::setCurrentFolder(clientFolder_.path()));

    EXPECT_THROW(qlx::vexa_unzip("p.zip", "."), qlx::UnexpectedError);
}

} // namespace
