#include "process/nvo_process.h"
#include "process/process_table_linux.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <climits>

namespace qlx {
namespace {

// A /proc of our own making for the fallback rules; each field is only written
// when given.
class FakeProc {
public:
    struct Process {
        quint32 pid;
        QByteArray exeLink;
        QByteArray stat;
        QByteArray cmdline;
        QByteArray comm;
    };

    void add(const Process& p) {
        const QString dir = dir_.filePath(QString::number(p.pid));
        QDir().mkpath(dir);
        if (!p.exeLink.isEmpty()) {
            QFile::link(QString::fromUtf8(p.exeLink), dir + QStringLiteral("/exe"));
        }
        write(dir + QStringLiteral("/stat"), p.stat);
        write(dir + QStringLiteral("/cmdline"), p.cmdline);
        write(dir + QStringLiteral("/comm"), p.comm);
    }
    [[nodiscard]] QString root() const { return dir_.path(); }
    [[nodiscard]] QString path(const QString& name) const { return dir_.filePath(name); }

private:
    static void write(const QString& path, const QByteArray& bytes) {
        if (bytes.isNull()) {
            return;
        }
        QFile f(path);
        if (f.open(QIODevice::WriteOnly)) {
            f.write(bytes);
        }
    }
    QTemporaryDir dir_;
};

std::vector<std::pair<quint32, QByteArray>> listOf(const ProcessSnapshot& s) {
    std::vector<std::pair<quint32, QByteArray>> out;
    for (const ProcessEntry& e : s.rest) {
        out.emplace_back(e.pid, e.exeName);
    }
    return out;
}

TEST(LinuxProcessTableTest, NamesFollowExeThenCommandLineThenComm) {
    FakeProc proc;
    const QByteArray kept = QFile::encodeName(proc.path(QStringLiteral("keep (deleted)")));
    QFile(QString::fromUtf8(kept)).open(QIODevice::WriteOnly);
    const QByteArray longName(300, 'q');
    const QByteArray running = "0 (x) S 1 0";
    proc.add({100, {}, running, QByteArray(""), "kworker/0:1\n"});
    proc.add({20, {}, running, QByteArray("/usr/local/bin/quilmsg\0--flag\0", 30), "quilmsg\n"});
    proc.add({3, "/opt/client/quillon", "3 (quillon) S 1", {}, {}});
    proc.add({1, "/sbin/init", {}, {}, {}});
    proc.add({5, {}, "5 (quillon) Z 1 0", QByteArray(""), "quillon\n"});
    proc.add({7, {}, "7 (a) Z (b) S 1", QByteArray("x\0", 2), {}});
    proc.add({8, "/opt/client/quillon (deleted)", {}, {}, {}});
    proc.add({9, kept, {}, {}, {}});
    proc.add({11, "/opt/" + longName, {}, {}, {}});
    proc.add({12, {}, {}, QByteArray("gone\0", 5), "gone\n"});
    proc.add({13, {}, running, QByteArray("ql_tel\0", 7), "ql_tel\n"});
    QDir().mkpath(proc.path(QStringLiteral("self")));
    QDir().mkpath(proc.path(QStringLiteral("99999999999")));

    LinuxProcessTable table(proc.root());
    const ProcessSnapshot s = table.snapshot();
    EXPECT_EQ(s.first.pid, 1U);
    EXPECT_EQ(s.first.exeName, "init");
    const std::vector<std::pair<quint32, QByteArray>> expected = {
        {3, "quillon"},
        {7, "x"},
        {8, "quillon"},
        {9, "keep (deleted)"},
        {11, longName.left(ProcessEntry::kMaxExeName)},
        {13, "ql_tel"},
        {20, "quilmsg"},
        {100, "kworker/0:1"},
    };
    EXPECT_EQ(listOf(s), expected);

    nvo_process process(std::make_unique<LinuxProcessTable>(proc.root()));
    EXPECT_EQ(process.uf_getprocesscount(QStringLiteral("quillon")), 2);
    EXPECT_EQ(process.uf_getprocesscount(QStringLiteral("init")), 0);
}

TEST(LinuxProcessTableTest, NoListGivesAnEmptyFirstEntry) {
    QTemporaryDir empty;
    for (const QString& root : {empty.path(), empty.filePath(QStringLiteral("missing"))}) {
        const ProcessSnapshot s = LinuxProcessTable(root).snapshot();
        EXPECT_EQ(s.first.pid, 0U);
        EXPECT_TRUE(s.first.exeName.isEmpty());
        EXPECT_TRUE(s.rest.empty());
    }
}

TEST(LinuxProcessTableTest, IdsThatNameNoSingleProcessAreNotSignalled) {
    LinuxProcessTable table;
    // kill() would take these as our process group or every process we may signal.
    EXPECT_FALSE(table.terminate(0));
    EXPECT_FALSE(table.terminate(0xFFFFFFFFU));
    EXPECT_FALSE(table.terminate(static_cast<quint32>(INT_MAX) + 1U));
    QFile pidMax(QStringLiteral("/proc/sys/kernel/pid_max"));
    ASSERT_TRUE(pidMax.open(QIODevice::ReadOnly));
    const quint32 beyond = pidMax.readAll().trimmed().toUInt() + 1;
    EXPECT_FALSE(table.terminate(beyond));
}

} // namespace
} // namespace qlx
