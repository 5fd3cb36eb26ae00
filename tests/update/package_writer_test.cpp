#include "support/window_fixture.h"
#include "update/package_paths.h"

#include <QFile>
#include <QRandomGenerator>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace qlx {
namespace {

class PackageWriter : public test::WindowFixture {
protected:
    static QByteArray bytes(qsizetype size) {
        QByteArray data(size, Qt::Uninitialized);
        QRandomGenerator generator(static_cast<quint32>(size));
        for (char& c : data) {
            c = static_cast<char>(generator.generate() & 0xFF);
        }
        return data;
    }
    static QByteArray contents(const QString& file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    }
};

// The number of chunks shows as the number of times the window was let
// process its events, once per chunk.
TEST_F(PackageWriter, ChunkCountsAndBytesOnDisk) {
    struct Case {
        qsizetype size;
        int chunks;
    };
    for (const Case c : {Case{0, 1}, Case{1, 1}, Case{32765, 1}, Case{32766, 2}, Case{65530, 2},
                         Case{3276500, 100}, Case{3276501, 101}, Case{7000000, 214}}) {
        SCOPED_TRACE(c.size);
        w_vercheck& writer = makeWindow(QStringLiteral("/PID=1;"));
        port.pendingEventRuns = 0;
        const QByteArray data = bytes(c.size);
        const QString file = path(QStringLiteral("p.zip"));
        EXPECT_EQ(writer.uf_filewrite(file, data), 1);
        EXPECT_EQ(port.pendingEventRuns, c.chunks);
        EXPECT_EQ(contents(file), data);
    }
}

TEST_F(PackageWriter, ReplacesALongerFileAndLeavesTheCallersBlob) {
    w_vercheck& writer = makeWindow(QStringLiteral("/PID=1;"));
    const QString file = path(QStringLiteral("p.zip"));
    ASSERT_EQ(writer.uf_filewrite(file, bytes(100000)), 1);
    const QByteArray small = bytes(10);
    EXPECT_EQ(writer.uf_filewrite(file, small), 1);
    EXPECT_EQ(contents(file), small);
    EXPECT_EQ(small.size(), 10);
}

// The lock that another open description of the file runs into: F_UNLCK when none.
short lockSeenBy(const QString& file) {
    const int fd = open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC);
    struct flock probe {};
    probe.l_type = F_RDLCK;
    probe.l_whence = SEEK_SET;
    const bool asked = fd >= 0 && fcntl(fd, F_OFD_GETLK, &probe) == 0;
    close(fd);
    return asked ? probe.l_type : short{-1};
}

TEST_F(PackageWriter, NoOtherProgramWritesThePackageFileMeanwhile) {
    w_vercheck& writer = makeWindow(QStringLiteral("/PID=1;"));
    const QString file = path(QStringLiteral("p.zip"));
    std::vector<short> seen;
    port.duringPendingEvents = [&] { seen.push_back(lockSeenBy(file)); };
    ASSERT_EQ(writer.uf_filewrite(file, bytes(100000)), 1);
    EXPECT_EQ(seen, std::vector<short>(4, F_WRLCK)) << "between each of the four chunks";
    EXPECT_EQ(lockSeenBy(file), F_UNLCK);

    // A file that another program holds locked is neither emptied nor written.
    port.duringPendingEvents = nullptr;
    const int holder = open(QFile::encodeName(file).constData(), O_RDWR | O_CLOEXEC);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    ASSERT_EQ(fcntl(holder, F_OFD_SETLK, &lock), 0);
    EXPECT_EQ(writer.uf_filewrite(file, bytes(10)), -1);
    close(holder);
    EXPECT_EQ(contents(file), bytes(100000));
}

TEST_F(PackageWriter, MissingFolderGivesMinusOne) {
    w_vercheck& writer = makeWindow(QStringLiteral("/PID=1;"));
    EXPECT_EQ(writer.uf_filewrite(path(QStringLiteral("nowhere/p.zip")), bytes(5)), -1);
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("nowhere"))));
}

// A disk that fills up mid-package: the file-size limit makes a write fail
// the way a full disk does.
TEST_F(PackageWriter, AFullDiskGivesMinusOne) {
    w_vercheck& writer = makeWindow(QStringLiteral("/PID=1;"));
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = old;
    limit.rlim_cur = 1000000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const int result = writer.uf_filewrite(path(QStringLiteral("p.zip")), bytes(5000000));
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(result, -1);
}

TEST_F(PackageWriter, PathEntersOrCreatesAndAlwaysReturnsHome) {
    w_vercheck& writer = makeWindow(QStringLiteral("/PID=1;"));
    const QString home = currentFolder();
    QDir().mkdir(QStringLiteral("exists"));

    EXPECT_EQ(writer.uf_path(home, QStringLiteral("exists")),
              joinPath(home, QStringLiteral("exists")));
    EXPECT_EQ(currentFolder(), home);

    EXPECT_EQ(writer.uf_path(home, QStringLiteral("new/deeper")),
              joinPath(home, QStringLiteral("new/deeper")));
    EXPECT_TRUE(QFileInfo(QStringLiteral("new/deeper")).isDir());
    EXPECT_EQ(currentFolder(), home);

    const QString absolute = path(QStringLiteral("abs"));
    EXPECT_EQ(writer.uf_path(home, absolute), absolute);

    // Neither enterable nor creatable: the current folder.
    EXPECT_EQ(writer.uf_path(home, QString()), home);
    QFile blocker(QStringLiteral("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_EQ(writer.uf_path(home, QStringLiteral("file/sub")), home);
    EXPECT_EQ(currentFolder(), home);
}

TEST(PlainFileName, OnlyNamesThatStayInTheirFolder) {
    for (const char* good : {"a.zip", "업데이트.zip", "..a", "a..b", "a b"}) {
        EXPECT_TRUE(isPlainFileName(QString::fromUtf8(good))) << good;
    }
    for (const char* bad : {"", ".", "..", "../a", "a/b", "a\\b", "..\\x", "/abs"}) {
        EXPECT_FALSE(isPlainFileName(QString::fromUtf8(bad))) << bad;
    }
}

} // namespace
} // namespace qlx
