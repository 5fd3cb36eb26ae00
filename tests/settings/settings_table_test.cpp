#include "settings/settings_table.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace qlx {
namespace {

QString S(const char* utf8) {
    return QString::fromUtf8(utf8);
}

class SettingsTableTest : public ::testing::Test {
protected:
    QTemporaryDir dir_;
    QString path_ = dir_.filePath(QStringLiteral("quil.psr"));

    void write(const QByteArray& bytes, const QString& path = {}) {
        QFile f(path.isEmpty() ? path_ : path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }
    [[nodiscard]] QByteArray read(const QString& path = {}) const {
        QFile f(path.isEmpty() ? path_ : path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    }
};

// Rows chosen so that every lookup rule has a row that would expose it.
const QByteArray kMixedRows = R"({
  "rows": [
    { "CODE": "A", "VALUE": "  x  " },
    { "CODE": "A", "VALUE": "second" },
    { "CODE": "N", "VALUE": null },
    { "CODE": "H", "VALUE": "한글 값  " },
    { "CODE": "한글코드", "VALUE": "v" },
    { "CODE": "a", "VALUE": "lower" },
    { "CODE": " A", "VALUE": "lead" },
    { "CODE": "NUM", "VALUE": 42 },
    { "CODE": 5, "VALUE": "five" },
    "stray",
    { "VALUE": "no code" },
    { "CODE": "NOV" }
  ]
})";

TEST_F(SettingsTableTest, GetFindsTheFirstExactCodeAndTrimsOnlyTrailingBlanks) {
    write(kMixedRows);
    SettingsTable table;
    ASSERT_TRUE(table.load(path_));
    EXPECT_EQ(table.rowCount(), 12);

    struct Case {
        OptString code;
        OptString fallback;
        OptString expected;
    };
    const OptString dflt = S("  d  ");
    const std::vector<Case> cases = {
        {S("A"), dflt, S("  x")},
        {S("N"), dflt, std::nullopt},
        {S("H"), dflt, S("한글 값")},
        {S("한글코드"), dflt, S("v")},
        {S("a"), dflt, S("lower")},
        {S(" A"), dflt, S("lead")},
        {S("A "), dflt, dflt},
        {S("missing"), dflt, dflt},
        {S("missing"), std::nullopt, std::nullopt},
        {std::nullopt, dflt, dflt},
        {S("NUM"), dflt, S("42")},
        {S("5"), dflt, dflt},
        {S("NOV"), dflt, std::nullopt},
    };
    for (const Case& c : cases) {
        for (const OptString& flag : {OptString(S("O")), OptString(S("X")), OptString()}) {
            EXPECT_EQ(table.uf_get(c.code, c.fallback, flag), c.expected)
                << "code " << c.code.value_or(S("<null>")).toStdString();
        }
    }
}

TEST_F(SettingsTableTest, SetChangesTheFirstRowAndReturnsItsTrimmedValue) {
    write(kMixedRows);
    SettingsTable table;
    ASSERT_TRUE(table.load(path_));

    EXPECT_EQ(table.uf_set(S("A"), S(" new "), S("O")), S("x"));
    EXPECT_EQ(table.uf_get(S("A"), {}, S("O")), S(" new"));
    EXPECT_EQ(table.uf_set(S("N"), S("was null"), S("O")), std::nullopt);
    EXPECT_EQ(table.uf_set(S("NUM"), S("7"), S("O")), S("42"));
    EXPECT_EQ(table.uf_set(S("NOV"), std::nullopt, S("O")), std::nullopt);
    EXPECT_EQ(table.rowCount(), 12);

    EXPECT_EQ(table.uf_set(S("QL_UPT_TIME"), S("123"), S("O")), S(""));
    EXPECT_EQ(table.rowCount(), 13);
    EXPECT_EQ(table.uf_set(S("QL_UPT_TIME"), std::nullopt, S("X")), S("123"));
    EXPECT_EQ(table.rowCount(), 13);
    EXPECT_EQ(table.uf_get(S("QL_UPT_TIME"), S("d"), S("O")), std::nullopt);

    ASSERT_TRUE(table.save(path_));
    const QByteArray expected = R"({
  "rows": [
    {
      "CODE": "A",
      "VALUE": " new "
    },
    {
      "CODE": "A",
      "VALUE": "second"
    },
    {
      "CODE": "N",
      "VALUE": "was null"
    },
    {
      "CODE": "H",
      "VALUE": "한글 값  "
    },
    {
      "CODE": "한글코드",
      "VALUE": "v"
    },
    {
      "CODE": "a",
      "VALUE": "lower"
    },
    {
      "CODE": " A",
      "VALUE": "lead"
    },
    {
      "CODE": "NUM",
      "VALUE": "7"
    },
    {
      "CODE": 5,
      "VALUE": "five"
    },
    "stray",
    {
      "VALUE": "no code"
    },
    {
      "CODE": "NOV",
      "VALUE": null
    },
    {
      "CODE": "QL_UPT_TIME",
      "VALUE": null
    }
  ]
}
)";
    EXPECT_EQ(read(), expected);
}

TEST_F(SettingsTableTest, SetWithNullCodeAppendsARowThatNoSearchFinds) {
    SettingsTable table;
    EXPECT_EQ(table.uf_set(std::nullopt, S("v"), S("O")), S(""));
    EXPECT_EQ(table.uf_set(std::nullopt, S("w"), S("O")), S(""));
    EXPECT_EQ(table.rowCount(), 2);
    EXPECT_EQ(table.uf_get(std::nullopt, S("d"), S("O")), S("d"));
}

TEST_F(SettingsTableTest, CanonicalFilesComeBackByteForByte) {
    const std::vector<QByteArray> files = {
        "{\n  \"rows\": []\n}\n",
        R"({
  "layout": {
    "columns": [
      "CODE",
      "VALUE",
      "NOTE"
    ],
    "width": 1.5
  },
  "rows": [
    {
      "CODE": "DataBase-DBMS",
      "NOTE": "keep",
      "VALUE": "SQLite",
      "z": -3
    },
    {
      "VALUE": "  ",
      "CODE": "한글",
      "extra": [
        true,
        false,
        null,
        {}
      ]
    }
  ],
  "trailer": "\u0001 tab\t end"
}
)",
        "\xEF\xBB\xBF{\n  \"rows\": [\n    {\n      \"CODE\": \"X\",\n      \"VALUE\": \"1\"\n    "
        "}\n  ]\n}\n",
    };
    for (const QByteArray& original : files) {
        write(original);
        SettingsTable table;
        ASSERT_TRUE(table.load(path_)) << original.toStdString();
        ASSERT_TRUE(table.save(path_));
        EXPECT_EQ(read(), original);
    }
}

TEST_F(SettingsTableTest, OtherLayoutsKeepEveryMemberInOrder) {
    write(R"({"b":1,"rows":[{"VALUE":"v","CODE":"C","x":{"q":[1,2]}}],"a":"\u00e9"})");
    SettingsTable table;
    ASSERT_TRUE(table.load(path_));
    ASSERT_TRUE(table.save(path_));
    EXPECT_EQ(read(), S(R"({
  "b": 1,
  "rows": [
    {
      "VALUE": "v",
      "CODE": "C",
      "x": {
        "q": [
          1,
          2
        ]
      }
    }
  ],
  "a": "é"
}
)")
                          .toUtf8());
}

// Nothing here is a settings document we could write back as the client wrote
// it, so the file must survive a load and a save untouched.
TEST_F(SettingsTableTest, FilesWeCannotReadAreNeverOverwritten) {
    QByteArray deep;
    deep.append("{\"rows\":[");
    deep.append(QByteArray(300, '['));
    deep.append(QByteArray(300, ']'));
    deep.append("]}");
    const std::vector<std::pair<const char*, QByteArray>> inputs = {
        {"empty", ""},
        {"blanks", "  \n\t \r\n"},
        {"truncated", "{\n  \"rows\": [\n    { \"CODE\": \"A\", \"VAL"},
        {"array at top", "[{\"CODE\":\"A\",\"VALUE\":\"1\"}]"},
        {"string at top", "\"rows\""},
        {"no rows", "{\"other\": []}"},
        {"rows not an array", "{\"rows\": {\"CODE\": \"A\"}}"},
        {"invalid UTF-8", "{\"rows\": [{\"CODE\": \"A\", \"VALUE\": \"\xC3\x28\"}]}"},
        {"Latin-1 text", "{\"rows\": [{\"CODE\": \"caf\xE9\", \"VALUE\": \"1\"}]}"},
        {"comment", "// settings\n{\"rows\": []}"},
        {"trailing text", "{\"rows\": []} x"},
        {"repeated top member", "{\"rows\": [], \"rows\": []}"},
        {"repeated row member", "{\"rows\": [{\"CODE\": \"A\", \"CODE\": \"B\"}]}"},
        {"lone surrogate", "{\"rows\": [{\"CODE\": \"\\ud800\"}]}"},
        {"deep nesting", deep},
        {"UTF-16", QByteArray("\xFF\xFE{\0}\0", 6)},
    };
    for (const auto& [name, bytes] : inputs) {
        SCOPED_TRACE(name);
        write(bytes);
        SettingsTable table;
        EXPECT_FALSE(table.load(path_));
        EXPECT_EQ(table.rowCount(), 0);
        EXPECT_EQ(table.uf_get(S("A"), S("d"), S("O")), S("d"));
        EXPECT_EQ(table.uf_set(S("QL_UPT_TIME"), S("1"), S("O")), S(""));
        EXPECT_FALSE(table.save(path_));
        EXPECT_FALSE(table.save(dir_.path() + QStringLiteral("/./quil.psr")));
        EXPECT_EQ(read(), bytes);
    }
}

TEST_F(SettingsTableTest, AnUnreadableFileIsProtectedUntilItLoads) {
    write("{\"rows\": [");
    SettingsTable table;
    EXPECT_FALSE(table.load(path_));
    // Another file may still be written with what the table now holds.
    table.uf_set(S("C"), S("v"), S("O"));
    const QString other = dir_.filePath(QStringLiteral("other.psr"));
    EXPECT_TRUE(table.save(other));
    EXPECT_FALSE(table.save(path_));

    write("{\"rows\": []}");
    EXPECT_TRUE(table.load(path_));
    EXPECT_TRUE(table.save(path_));
    EXPECT_EQ(read(), "{\n  \"rows\": []\n}\n");
}

TEST_F(SettingsTableTest, AFolderInPlaceOfTheFileIsLeftAlone) {
    ASSERT_TRUE(QDir().mkpath(path_));
    SettingsTable table;
    EXPECT_FALSE(table.load(path_));
    EXPECT_FALSE(table.save(path_));
    EXPECT_TRUE(QFileInfo(path_).isDir());
}

TEST_F(SettingsTableTest, AFileWithoutReadPermissionIsLeftAlone) {
    write("{\"rows\": []}");
    const QByteArray file = QFile::encodeName(path_);
    ASSERT_EQ(chmod(file.constData(), 0200), 0);
    // Load and save in a folder the process may write to, so that only the
    // protection of the unreadable file can make the save fail.
    const auto loadAndSave = [this] {
        SettingsTable table;
        const bool loaded = table.load(path_);
        table.uf_set(S("QL_UPT_TIME"), S("1"), S("O"));
        return !loaded && !table.save(path_);
    };
    if (geteuid() != 0) {
        EXPECT_TRUE(loadAndSave());
    } else {
        // Root reads every file: the check runs in a child that has become
        // "nobody" and owns the file, as the client's user would.
        constexpr uid_t nobody = 65534;
        ASSERT_EQ(chown(file.constData(), nobody, nobody), 0);
        ASSERT_EQ(chmod(QFile::encodeName(dir_.path()).constData(), 0777), 0);
        EXPECT_EXIT(
            {
                const bool dropped = setgroups(0, nullptr) == 0 && setgid(nobody) == 0 &&
                                     setuid(nobody) == 0 && access(file.constData(), R_OK) != 0;
                std::_Exit(dropped && loadAndSave() ? 0 : 1);
            },
            ::testing::ExitedWithCode(0), "");
    }
    ASSERT_EQ(chmod(file.constData(), 0600), 0);
    EXPECT_EQ(read(), "{\"rows\": []}");
}

TEST_F(SettingsTableTest, AMissingFileLoadsEmptyAndSaveCreatesIt) {
    SettingsTable table;
    EXPECT_FALSE(table.load(path_));
    EXPECT_EQ(table.rowCount(), 0);
    EXPECT_EQ(table.uf_set(S("QL_UPT_TIME"), S("5"), S("O")), S(""));
    ASSERT_TRUE(table.save(path_));
    EXPECT_EQ(read(), "{\n  \"rows\": [\n    {\n      \"CODE\": \"QL_UPT_TIME\",\n      "
                      "\"VALUE\": \"5\"\n    }\n  ]\n}\n");
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{QStringLiteral("quil.psr")});
}

TEST_F(SettingsTableTest, AMissingFolderIsNotCreated) {
    const QString path = dir_.filePath(QStringLiteral("gone/quil.psr"));
    SettingsTable table;
    EXPECT_FALSE(table.load(path));
    table.uf_set(S("C"), S("v"), S("O"));
    EXPECT_FALSE(table.save(path));
    EXPECT_FALSE(QFileInfo::exists(dir_.filePath(QStringLiteral("gone"))));
}

TEST_F(SettingsTableTest, AReadOnlyFileLoadsButIsNotReplaced) {
    const QByteArray original = "{\"rows\": [{\"CODE\": \"C\", \"VALUE\": \"v\"}]}";
    write(original);
    ASSERT_EQ(chmod(QFile::encodeName(path_).constData(), 0444), 0);
    SettingsTable table;
    ASSERT_TRUE(table.load(path_));
    EXPECT_EQ(table.uf_get(S("C"), {}, S("O")), S("v"));
    table.uf_set(S("C"), S("w"), S("O"));
    EXPECT_FALSE(table.save(path_));
    EXPECT_EQ(read(), original);
    struct stat st {};
    ASSERT_EQ(stat(QFile::encodeName(path_).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444U);
}

TEST_F(SettingsTableTest, SaveReplacesTheFileByRenameAndKeepsItsMode) {
    write("{\"rows\": [{\"CODE\": \"C\", \"VALUE\": \"v\"}]}");
    ASSERT_EQ(chmod(QFile::encodeName(path_).constData(), 0640), 0);
    SettingsTable table;
    ASSERT_TRUE(table.load(path_));
    table.uf_set(S("C"), S("ours"), S("O"));

    // The client replaces the file while we hold it; a reader has it open.
    const QString replacement = dir_.filePath(QStringLiteral("client.tmp"));
    const QByteArray clients = "{\"rows\": [{\"CODE\": \"C\", \"VALUE\": \"theirs\"}]}";
    write(clients, replacement);
    ASSERT_EQ(chmod(QFile::encodeName(replacement).constData(), 0640), 0);
    ASSERT_EQ(
        ::rename(QFile::encodeName(replacement).constData(), QFile::encodeName(path_).constData()),
        0);
    QFile reader(path_);
    ASSERT_TRUE(reader.open(QIODevice::ReadOnly));

    ASSERT_TRUE(table.save(path_));
    // The open reader still sees the whole file it opened: nothing was written in place.
    EXPECT_EQ(reader.readAll(), clients);
    SettingsTable reloaded;
    ASSERT_TRUE(reloaded.load(path_));
    EXPECT_EQ(reloaded.uf_get(S("C"), {}, S("O")), S("ours"));
    struct stat st {};
    ASSERT_EQ(stat(QFile::encodeName(path_).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640U);
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{QStringLiteral("quil.psr")});
}

TEST_F(SettingsTableTest, ALinkedFileIsSavedThroughItsLink) {
    const QString target = dir_.filePath(QStringLiteral("real.psr"));
    write("{\"rows\": []}", target);
    ASSERT_TRUE(QFile::link(target, path_));
    SettingsTable table;
    ASSERT_TRUE(table.load(path_));
    table.uf_set(S("C"), S("v"), S("O"));
    ASSERT_TRUE(table.save(path_));
    EXPECT_TRUE(QFileInfo(path_).isSymLink());
    SettingsTable reloaded;
    ASSERT_TRUE(reloaded.load(target));
    EXPECT_EQ(reloaded.uf_get(S("C"), {}, S("O")), S("v"));

    // A link to nothing is still the client's entry: not ours to replace.
    const QString dangling = dir_.filePath(QStringLiteral("dangling.psr"));
    ASSERT_TRUE(QFile::link(dir_.filePath(QStringLiteral("nowhere")), dangling));
    EXPECT_FALSE(table.load(dangling));
    EXPECT_FALSE(table.save(dangling));
    EXPECT_TRUE(QFileInfo(dangling).isSymLink());
    EXPECT_FALSE(QFileInfo::exists(dir_.filePath(QStringLiteral("nowhere"))));
}

// A small tmpfs of its own, filled to the last byte, is a disk that is full for real.
TEST_F(SettingsTableTest, AFullDiskLeavesTheFileAsItWas) {
    const QString disk = dir_.filePath(QStringLiteral("disk"));
    ASSERT_TRUE(QDir().mkdir(disk));
    struct Mount {
        QByteArray point;
        ~Mount() { umount2(point.constData(), MNT_DETACH); }
    } const mounted{QFile::encodeName(disk)};
    if (mount("tmpfs", mounted.point.constData(), "tmpfs", 0, "size=256k") != 0) {
        GTEST_SKIP() << "no tmpfs can be mounted here: " << std::strerror(errno);
    }
    const QString path = disk + QStringLiteral("/quil.psr");
    const QByteArray original = R"({"rows": [{"CODE": "C", "VALUE": "v"}]})";
    write(original, path);
    const int filler = open(QFile::encodeName(disk + QStringLiteral("/filler")).constData(),
                            O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    // tmpfs hands out whole pages.
    const std::vector<char> page(4096, 'f');
    while (::write(filler, page.data(), page.size()) > 0) {
    }
    close(filler);

    SettingsTable table;
    EXPECT_TRUE(table.load(path));
    // Small enough to sit in a write buffer until the file is closed.
    table.uf_set(S("C"), QString(2000, u'x'), S("O"));
    EXPECT_FALSE(table.save(path));
    EXPECT_EQ(read(path), original);
    EXPECT_EQ(QDir(disk).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              (QStringList{QStringLiteral("filler"), QStringLiteral("quil.psr")}));
}

// A save killed before its rename leaves its temporary file; only files of
// exactly that name, for this settings file, are ours to remove.
TEST_F(SettingsTableTest, LoadRemovesWhatKilledSavesLeftAndNothingElse) {
    const QStringList others = {
        QStringLiteral(".other.psr.qlx-save-Ab12Cd"), QStringLiteral(".quil.psr.qlx-save-Ab12C"),
        QStringLiteral(".quil.psr.qlx-save-Ab12Cd~"), QStringLiteral("quil.psr")};
    for (const QString& name : others + QStringList{QStringLiteral(".quil.psr.qlx-save-Ab12Cd")}) {
        write("{\"rows\": []}", dir_.filePath(name));
    }
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral(".quil.psr.qlx-save-Folder")));
    SettingsTable table;
    EXPECT_TRUE(table.load(path_));
    QStringList left = QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden);
    left.sort();
    EXPECT_EQ(left, others);
    EXPECT_TRUE(QFileInfo(dir_.filePath(QStringLiteral(".quil.psr.qlx-save-Folder"))).isDir());
}

TEST_F(SettingsTableTest, TenMegabytesOfRowsLoadAndSave) {
    QByteArray big = "{\n  \"rows\": [\n";
    int rows = 0;
    while (big.size() < 10 * 1024 * 1024) {
        if (rows > 0) {
            big.append(",\n");
        }
        big.append("    {\n      \"CODE\": \"code-" + QByteArray::number(rows) +
                   "\",\n      \"VALUE\": \"값 " + QByteArray::number(rows) + "\"\n    }");
        ++rows;
    }
    big.append("\n  ]\n}\n");
    write(big);

    SettingsTable table;
    ASSERT_TRUE(table.load(path_));
    ASSERT_EQ(table.rowCount(), rows);
    const QString last = QStringLiteral("code-%1").arg(rows - 1);
    EXPECT_EQ(table.uf_get(last, {}, S("O")), S("값 %1").arg(rows - 1));
    ASSERT_TRUE(table.save(path_));
    EXPECT_EQ(read(), big);
    EXPECT_EQ(table.uf_set(S("QL_UPT_TIME"), S("1"), S("O")), S(""));
    ASSERT_TRUE(table.save(path_));
    SettingsTable reloaded;
    ASSERT_TRUE(reloaded.load(path_));
    EXPECT_EQ(reloaded.rowCount(), rows + 1);
}

} // namespace
} // namespace qlx
