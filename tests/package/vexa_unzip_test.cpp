#include "libs/ezip/ezip_codes.h"
#include "package/vexa_unzip.h"
#include "platform/files.h"
#include "platform/text_encoding.h"
#include "support/packages.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The adapter loads the real libEZip.so from the test's own folder, where the
// build puts it beside the executable.
class VexaUnzip : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(scratch_.isValid()); }

    std::string path(const std::string& name) const { return scratch_.filePath(name); }

    qlx::test::TempDir scratch_;
};

TEST_F(VexaUnzip, ExtractsThroughTheLibraryWithEightBitPaths) {
    // Hangul names reach the library as the system's 8-bit text.
    const std::string destination = path("대상 폴더");
    if (qlx::fromSystemEncoding(qlx::toSystemEncoding(destination)) != destination) {
        GTEST_SKIP() << "the system's 8-bit encoding has no Hangul (on Windows, a code page "
                        "other than 949)";
    }
    ASSERT_TRUE(qlx::makeFolders(destination));
    const qlx::Bytes package = qlx::test::makePackage({{"sub/파일.txt", "package contents\n"}});
    ASSERT_FALSE(package.empty());
    const std::string archive = path("패키지.zip");
    ASSERT_TRUE(qlx::test::writeFile(archive, std::string(package.begin(), package.end())));

    EXPECT_EQ(qlx::vexa_unzip(archive, destination), 0L);

    EXPECT_EQ(qlx::test::readFile(destination + "/sub/파일.txt"), "package contents\n");
}

TEST_F(VexaUnzip, PassesTheLibraryFailureCodeThrough) {
    const std::string page = path("page.zip");
    ASSERT_TRUE(qlx::test::writeFile(page, "<html><body>502 Bad Gateway</body></html>\n"));

    EXPECT_EQ(qlx::vexa_unzip(page, scratch_.path()), static_cast<long>(EZIP_E_NOT_ZIP));
    EXPECT_EQ(qlx::vexa_unzip(page, path("absent")), static_cast<long>(EZIP_E_DESTINATION));
    EXPECT_EQ(qlx::vexa_unzip(std::string(), scratch_.path()), static_cast<long>(EZIP_E_ARGUMENT));
}

} // namespace
