#include "libs/ezip/ezip_codes.h"
#include "package/vexa_unzip.h"
#include "platform/files.h"
#include "platform/text_encoding.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The library takes 8-bit paths in the ANSI code page: a path the code page
// holds reaches it, one it cannot hold never does, whichever code page the
// system runs in (949 and 1252 both lack a character of the folder below).
TEST(VexaUnzipCodePage, HandsOnlyPathsTheCodePageHoldsToTheLibrary) {
    qlx::test::TempDir scratch;
    ASSERT_TRUE(scratch.isValid());
    const std::string page = scratch.filePath("page.zip");
    ASSERT_TRUE(qlx::test::writeFile(page, "<html><body>502 Bad Gateway</body></html>\n"));
    const std::string unnamable = scratch.filePath("José 中国 😀");
    ASSERT_TRUE(qlx::makeFolders(unnamable));
    ASSERT_NE(qlx::fromSystemEncoding(qlx::toSystemEncoding(unnamable)), unnamable);
    const std::string unnamablePage = unnamable + "/page.zip";
    ASSERT_TRUE(qlx::test::writeFile(unnamablePage, "<html></html>\n"));

    EXPECT_EQ(qlx::vexa_unzip(page, scratch.path()), static_cast<long>(EZIP_E_NOT_ZIP));
    EXPECT_EQ(qlx::vexa_unzip(page, unnamable), static_cast<long>(EZIP_E_PATH_CODE_PAGE));
    EXPECT_EQ(qlx::vexa_unzip(unnamablePage, scratch.path()),
              static_cast<long>(EZIP_E_PATH_CODE_PAGE));
    EXPECT_EQ(qlx::refusedMethod(unnamablePage), -1);
}

} // namespace
