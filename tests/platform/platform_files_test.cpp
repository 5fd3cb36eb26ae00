// The platform's files and folders and library loader, on the real system.

#include "base/unexpected_error.h"
#include "platform/files.h"
#include "platform/outside_library.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace qlx
