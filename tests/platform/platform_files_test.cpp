// The platform's files and folders, library loader and 8-bit encoding, on
// the real system.

#include "base/unexpected_error.h"
#include "platform/files.h"
#include "platform/outside_library.h"
#include "platform/system_encoding.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>

namespace qlx {
namespace {

TEST(FileSystem, FoldersAndFilesAreTakenOnlyForWhatTheyAre) {
    test::TempDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string deep = dir.filePath("a/b/c");
    EXPECT_TRUE(makeFolders(deep));
    EXPECT_TRUE(makeFolders(deep)) << "an existing folder is fine";
    EXPECT_FALSE(makeFolder(deep)) << "but not for the single step";
    ASSERT_TRUE(test::writeFile(dir.filePath("a/file"), "x"));
    EXPECT_FALSE(makeFolders(dir.filePath("a/file/sub")));
    EXPECT_FALSE(makeFolders(dir.filePath("a/file")));

    EXPECT_TRUE(isFolder(deep) && !isFile(deep));
    EXPECT_TRUE(isFile(dir.filePath("a/file")) && !isFolder(dir.filePath("a/file")));
    EXPECT_FALSE(pathExists(dir.filePath("none")));

    EXPECT_FALSE(removeEmptyFolder(dir.filePath("a/b"))) << "it holds c";
    EXPECT_FALSE(removeFile(deep));
    EXPECT_TRUE(isFolder(deep));
    EXPECT_TRUE(removeEmptyFolder(deep));
    EXPECT_TRUE(removeFile(dir.filePath("a/file")));
    EXPECT_FALSE(pathExists(dir.filePath("a/file")));
}

TEST(FileSystem, TheCurrentFolderHasNoTrailingSeparator) {
    test::TempDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string before = currentFolder();
    ASSERT_FALSE(before.empty());
    EXPECT_FALSE(setCurrentFolder(""));
    EXPECT_FALSE(setCurrentFolder(dir.filePath("none")));
    EXPECT_EQ(currentFolder(), before);
    ASSERT_TRUE(setCurrentFolder(dir.path() + "/"));
    EXPECT_EQ(currentFolder(), dir.path());
    ASSERT_TRUE(setCurrentFolder("/"));
    EXPECT_EQ(currentFolder(), "/");
    EXPECT_TRUE(setCurrentFolder(before));
}

// The extraction library and the update methods share these: what is gone
// counts as removed, and a link is what it is unless the caller follows it.
TEST(FileSystem, WhatIsGoneIsRemovedAndALinkIsOnlyFollowedWhenAsked) {
    test::TempDir dir;
    ASSERT_TRUE(dir.isValid());
    EXPECT_TRUE(removeFile(dir.filePath("none")));
    EXPECT_TRUE(removeEmptyFolder(dir.filePath("none")));
    EXPECT_EQ(kindOf(dir.filePath("none")), FileKind::Missing);
    EXPECT_EQ(kindOf(dir.filePath("none/below")), FileKind::Missing);

    ASSERT_TRUE(makeFolders(dir.filePath("real/sub")));
    std::filesystem::create_directory_symlink(dir.filePath("real"), dir.filePath("link"));
    EXPECT_EQ(kindOf(dir.filePath("real")), FileKind::Folder);
    EXPECT_EQ(kindOf(dir.filePath("link")), FileKind::Other);
    EXPECT_TRUE(isFolder(dir.filePath("link")));
    EXPECT_EQ(realFolder(dir.filePath("link/sub")), realFolder(dir.filePath("real/sub")));
    EXPECT_EQ(realFolder(dir.filePath("none")), std::nullopt);

    EXPECT_TRUE(removeFolderTree(dir.filePath("link"))) << "the link goes, not what it names";
    EXPECT_TRUE(isFolder(dir.filePath("real/sub")));
    EXPECT_TRUE(removeFolderTree(dir.filePath("real")));
    EXPECT_FALSE(pathExists(dir.filePath("real")));
}

TEST(FilePath, TheParentIsTheFolderAboveByTheTextAlone) {
    EXPECT_EQ(parentOf("/a/b"), "/a");
    EXPECT_EQ(parentOf("/a/b//"), "/a");
    EXPECT_EQ(parentOf("a/b"), "a");
    EXPECT_EQ(parentOf("/a"), "/");
    EXPECT_EQ(parentOf("/"), "");
    EXPECT_EQ(parentOf("a"), "");
    EXPECT_EQ(absoluteFolder("/a/b//"), "/a/b");
    EXPECT_EQ(absoluteFolder("a/b"), std::nullopt);
}

TEST(OutsideLibraryLoad, AMissingEntryIsTheUnexpectedErrorNamingIt) {
    OutsideLibrary library("EZip");
    EXPECT_EQ(library.filePath(), OutsideLibrary::libraryFolder() + "/libEZip.so");
    EXPECT_NE(library.entry("Vexa_Unzip"), nullptr);
    try {
        (void)library.entry("Vexa_NoSuchEntry");
        ADD_FAILURE() << "no unexpected error";
    } catch (const UnexpectedError& error) {
        EXPECT_EQ(error.library(), "libEZip.so");
        EXPECT_NE(error.reason().find("Vexa_NoSuchEntry"), std::string::npos) << error.reason();
    }
}

// The program's locale decides the 8-bit encoding. A Korean locale with the
// client machines' character set is made for the test in a folder of its own.
class SystemEncoding : public ::testing::Test {
protected:
    void TearDown() override {
        std::setlocale(LC_ALL, "C");
        unsetenv("LOCPATH");
    }
    test::TempDir locales;
};

TEST_F(SystemEncoding, IsTheLocalesCharacterSetAndNothingInUtf8OrC) {
    const std::string korean = "업데이트.zip";
    for (const char* locale : {"C", "C.UTF-8"}) {
        ASSERT_NE(std::setlocale(LC_ALL, locale), nullptr) << locale;
        EXPECT_EQ(toSystemEncoding(korean), korean) << locale;
        EXPECT_EQ(fromSystemEncoding(korean), korean) << locale;
    }

    const std::string command =
        "localedef -i ko_KR -f EUC-KR '" + locales.filePath("ko_KR.EUC-KR") + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
        GTEST_SKIP() << "localedef cannot make ko_KR.EUC-KR here";
    }
    setenv("LOCPATH", locales.path().c_str(), 1);
    ASSERT_NE(std::setlocale(LC_ALL, "ko_KR.EUC-KR"), nullptr);
    const std::string euckr = "\xbe\xf7\xb5\xa5\xc0\xcc\xc6\xae.zip";
    EXPECT_EQ(toSystemEncoding(korean), euckr);
    EXPECT_EQ(fromSystemEncoding(euckr), korean);
    // What the set lacks, and what is no UTF-8 at all, become "?" one each.
    EXPECT_EQ(toSystemEncoding("a\xF0\x9F\x98\x80"
                               "b\xFF"
                               "c"),
              "a?b?c");
}

} // namespace
} // namespace qlx
