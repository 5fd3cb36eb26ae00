#include "package/package_paths.h"
#include "platform/files.h"
#include "support/test_files.h"
#include "support/window_fixture.h"

#include <csignal>
#include <fcntl.h>
#include <random>
#include <sys/resource.h>
#include <unistd.h>

namespace qlx {
namespace {

class PackageWriter : public test::WindowFixture {
protected:
    static Bytes bytes(std::size_t size) {
        Bytes data(size);
        std::mt19937 generator(static_cast<std::uint32_t>(size));
        for (char& c : data) {
            c = static_cast<char>(generator() & 0xFF);
        }
        return data;
    }
    static Bytes contents(const std::string& file) {
        const std::string text = test::readFile(file);
        return Bytes(text.begin(), text.end());
    }
};

// The number of chunks shows as the number of times the window was let
// process its events, once per chunk.
TEST_F(PackageWriter, ChunkCountsAndBytesOnDisk) {
    struct Case {
        std::size_t size;
        int chunks;
    };
    for (const Case c : {Case{0, 1}, Case{1, 1}, Case{32765, 1}, Case{32766, 2}, Case{65530, 2},
                         Case{3276500, 100}, Case{3276501, 101}, Case{7000000, 214}}) {
        SCOPED_TRACE(c.size);
        w_vercheck& writer = makeWindow("/PID=1;");
        port.pendingEventRuns = 0;
        const Bytes data = bytes(c.size);
        const std::string file = path("p.zip");
        EXPECT_EQ(writer.uf_filewrite(file, data), 1);
        EXPECT_EQ(port.pendingEventRuns, c.chunks);
        EXPECT_TRUE(contents(file) == data);
    }
}

TEST_F(PackageWriter, ReplacesALongerFileAndLeavesTheCallersBlob) {
    w_vercheck& writer = makeWindow("/PID=1;");
    const std::string file = path("p.zip");
    ASSERT_EQ(writer.uf_filewrite(file, bytes(100000)), 1);
    const Bytes small = bytes(10);
    EXPECT_EQ(writer.uf_filewrite(file, small), 1);
    EXPECT_TRUE(contents(file) == small);
    EXPECT_EQ(small.size(), 10u);
}

// The lock that another open description of the file runs into: F_UNLCK when none.
short lockSeenBy(const std::string& file) {
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    struct flock probe {};
    probe.l_type = F_RDLCK;
    probe.l_whence = SEEK_SET;
    const bool asked = fd >= 0 && fcntl(fd, F_OFD_GETLK, &probe) == 0;
    close(fd);
    return asked ? probe.l_type : short{-1};
}

TEST_F(PackageWriter, NoOtherProgramWritesThePackageFileMeanwhile) {
    w_vercheck& writer = makeWindow("/PID=1;");
    const std::string file = path("p.zip");
    std::vector<short> seen;
    port.duringPendingEvents = [&] { seen.push_back(lockSeenBy(file)); };
    ASSERT_EQ(writer.uf_filewrite(file, bytes(100000)), 1);
    EXPECT_EQ(seen, std::vector<short>(4, F_WRLCK)) << "between each of the four chunks";
    EXPECT_EQ(lockSeenBy(file), F_UNLCK);

    // A file that another program holds locked is neither emptied nor written.
    port.duringPendingEvents = nullptr;
    const int holder = open(file.c_str(), O_RDWR | O_CLOEXEC);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    ASSERT_EQ(fcntl(holder, F_OFD_SETLK, &lock), 0);
    EXPECT_EQ(writer.uf_filewrite(file, bytes(10)), -1);
    close(holder);
    EXPECT_TRUE(contents(file) == bytes(100000));
}

TEST_F(PackageWriter, MissingFolderGivesMinusOne) {
    w_vercheck& writer = makeWindow("/PID=1;");
    EXPECT_EQ(writer.uf_filewrite(path("nowhere/p.zip"), bytes(5)), -1);
    EXPECT_FALSE(test::folderExists(path("nowhere")));
}

// A disk that fills up mid-package: the file-size limit makes a write fail
// the way a full disk does.
TEST_F(PackageWriter, AFullDiskGivesMinusOne) {
    w_vercheck& writer = makeWindow("/PID=1;");
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = old;
    limit.rlim_cur = 1000000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const int result = writer.uf_filewrite(path("p.zip"), bytes(5000000));
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(result, -1);
}

TEST_F(PackageWriter, PathEntersOrCreatesAndAlwaysReturnsHome) {
    w_vercheck& writer = makeWindow("/PID=1;");
    const std::string home = currentFolder();
    ASSERT_TRUE(makeFolder("exists"));

    EXPECT_EQ(writer.uf_path(home, "exists"), joinPath(home, "exists"));
    EXPECT_EQ(currentFolder(), home);

    EXPECT_EQ(writer.uf_path(home, "new/deeper"), joinPath(home, "new/deeper"));
    EXPECT_TRUE(test::folderExists(path("new/deeper")));
    EXPECT_EQ(currentFolder(), home);

    const std::string absolute = path("abs");
    EXPECT_EQ(writer.uf_path(home, absolute), absolute);

    // Neither enterable nor creatable: the current folder.
    EXPECT_EQ(writer.uf_path(home, std::string()), home);
    ASSERT_TRUE(test::writeFile(path("file"), ""));
    EXPECT_EQ(writer.uf_path(home, "file/sub"), home);
    EXPECT_EQ(currentFolder(), home);
}

TEST(PlainFileName, OnlyNamesThatStayInTheirFolder) {
    for (const char* good : {"a.zip", "업데이트.zip", "..a", "a..b", "a b"}) {
        EXPECT_TRUE(isPlainFileName(good)) << good;
    }
    for (const char* bad : {"", ".", "..", "../a", "a/b", "a\\b", "..\\x", "/abs"}) {
        EXPECT_FALSE(isPlainFileName(bad)) << bad;
    }
    EXPECT_FALSE(isPlainFileName(std::string("a\0b", 3)));
}

// The folders a target would need, deepest first, found by their cleaned
// absolute paths; those that exist are not among them.
TEST_F(PackageWriter, MissingFoldersAreTheOnesATargetWouldMake) {
    const std::string home = install.path();
    ASSERT_TRUE(makeFolder(path("have")));
    EXPECT_EQ(missingFolders(home, "have/x/./y//z"),
              (std::vector<std::string>{path("have/x/y/z"), path("have/x/y"), path("have/x")}));
    EXPECT_EQ(missingFolders(home, "have/../new"), std::vector<std::string>{path("new")});
    EXPECT_EQ(missingFolders(home, path("abs/one")),
              (std::vector<std::string>{path("abs/one"), path("abs")}));
    EXPECT_TRUE(missingFolders(home, "have").empty());
    EXPECT_TRUE(missingFolders(home, std::string()).empty());
}

} // namespace
} // namespace qlx
