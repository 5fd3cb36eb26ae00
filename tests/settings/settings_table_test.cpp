#include "settings/settings_table.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace qlx {
namespace {

// The names in `folder`, hidden ones included, in byte order; only regular
// files when `filesOnly`.
std::vector<std::string> entriesOf(const std::string& folder, bool filesOnly = false) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (!filesOnly || entry.is_regular_file()) {
            names.push_back(entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool isLink(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// Something is there once links are followed.
bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

class SettingsTableTest : public ::testing::Test {
protected:
    test::TempDir dir_;
    std::string path_ = dir_.filePath("quil.psr");

    void write(const std::string& bytes, const std::string& path = {}) {
        ASSERT_TRUE(test::writeFile(path.empty() ? path_ : path, bytes));
    }
    [[nodiscard]] std::string read(const std::string& path = {}) const {
        return test::readFile(path.empty() ? path_ : path);
    }
};

// Rows chosen so that every lookup rule has a row that would expose it.
const std::string kMixedRows = R"({
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
    const OptString dflt = "  d  ";
    const std::vector<Case> cases = {
        {"A", dflt, "  x"},
        {"N", dflt, std::nullopt},
        {"H", dflt, "한글 값"},
        {"한글코드", dflt, "v"},
        {"a", dflt, "lower"},
        {" A", dflt, "lead"},
        {"A ", dflt, dflt},
        {"missing", dflt, dflt},
        {"missing", std::nullopt, std::nullopt},
        {std::nullopt, dflt, dflt},
        {"NUM", dflt, "42"},
        {"5", dflt, dflt},
        {"NOV", dflt, std::nullopt},
    };
    for (const Case& c : cases) {
        for (const OptString& flag : {OptString("O"), OptString("X"), OptString()}) {
            EXPECT_EQ(table.uf_get(c.code, c.fallback, flag), c.expected)
                << "code " << c.code.value_or("<null>");
        }
    }
}

TEST_F(SettingsTableTest, SetChangesTheFirstRowAndReturnsItsTrimmedValue) {
    write(kMixedRows);
    SettingsTable table;
    ASSERT_TRUE(table.load(path_));

    EXPECT_EQ(table.uf_set("A", " new ", "O"), "x");
    EXPECT_EQ(table.uf_get("A", {}, "O"), " new");
    EXPECT_EQ(table.uf_set("N", "was null", "O"), std::nullopt);
    EXPECT_EQ(table.uf_set("NUM", "7", "O"), "42");
    EXPECT_EQ(table.uf_set("NOV", std::nullopt, "O"), std::nullopt);
    EXPECT_EQ(table.rowCount(), 12);

    EXPECT_EQ(table.uf_set("QL_UPT_TIME", "123", "O"), "");
    EXPECT_EQ(table.rowCount(), 13);
    EXPECT_EQ(table.uf_set("QL_UPT_TIME", std::nullopt, "X"), "123");
    EXPECT_EQ(table.rowCount(), 13);
    EXPECT_EQ(table.uf_get("QL_UPT_TIME", "d", "O"), std::nullopt);

    ASSERT_TRUE(table.save(path_));
    const std::string expected = R"({
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
    EXPECT_EQ(table.uf_set(std::nullopt, "v", "O"), "");
    EXPECT_EQ(table.uf_set(std::nullopt, "w", "O"), "");
    EXPECT_EQ(table.rowCount(), 2);
    EXPECT_EQ(table.uf_get(std::nullopt, "d", "O"), "d");
}

TEST_F(SettingsTableTest, CanonicalFilesComeBackByteForByte) {
    const std::vector<std::string> files = {
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
    for (const std::string& original : files) {
        write(original);
        SettingsTable table;
        ASSERT_TRUE(table.load(path_)) << original;
        ASSERT_TRUE(table.save(path_));
        EXPECT_EQ(read(), original);
    }
}

TEST_F(SettingsTableTest, OtherLayoutsKeepEveryMemberInOrder) {
    write(R"({"b":1,"rows":[{"VALUE":"v","CODE":"C","x":{"q":[1,2]}}],"a":"\u00e9"})");
    SettingsTable table;
    ASSERT_TRUE(table.load(path_));
    ASSERT_TRUE(table.save(path_));
    EXPECT_EQ(read(), R"({
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
)");
}

// Nothing here is a settings document we could write back as the client wrote
// it, so the file must survive a load and a save untouched.
TEST_F(SettingsTableTest, FilesWeCannotReadAreNeverOverwritten) {
    const std::string deep = "{\"rows\":[" + std::string(300, '[') + std::string(300, ']') + "]}";
    const std::vector<std::pair<const char*, std::string>> inputs = {
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
        {"UTF-16", std::string("\xFF\xFE{\0}\0", 6)},
    };
    for (const auto& [name, bytes] : inputs) {
        SCOPED_TRACE(name);
        write(bytes);
        SettingsTable table;
        EXPECT_FALSE(table.load(path_));
        EXPECT_EQ(table.rowCount(), 0);
        EXPECT_EQ(table.uf_get("A", "d", "O"), "d");
        EXPECT_EQ(table.uf_set("QL_UPT_TIME", "1", "O"), "");
        EXPECT_FALSE(table.save(path_));
        EXPECT_FALSE(table.save(dir_.path() + "/./quil.psr"));
        EXPECT_EQ(read(), bytes);
    }
}

TEST_F(SettingsTableTest, AnUnreadableFileIsProtectedUntilItLoads) {
    write("{\"rows\": [");
    SettingsTable table;
    EXPECT_FALSE(table.load(path_));
    // Another file may still be written with what the table now holds.
    table.uf_set("C", "v", "O");
    const std::string other = dir_.filePath("other.psr");
    EXPECT_TRUE(table.save(other));
    EXPECT_FALSE(table.save(path_));

    write("{\"rows\": []}");
    EXPECT_TRUE(table.load(path_));
    EXPECT_TRUE(table.save(path_));
    EXPECT_EQ(read(), "{\n  \"rows\": []\n}\n");
}

TEST_F(SettingsTableTest, AFolderInPlaceOfTheFileIsLeftAlone) {
    ASSERT_TRUE(std::filesystem::create_directory(path_));
    SettingsTable table;
    EXPECT_FALSE(table.load(path_));
    EXPECT_FALSE(table.save(path_));
    EXPECT_TRUE(test::folderExists(path_));
}

TEST_F(SettingsTableTest, AFileWithoutReadPermissionIsLeftAlone) {
    write("{\"rows\": []}");
    const std::string& file = path_;
    ASSERT_EQ(chmod(file.c_str(), 0200), 0);
    // Load and save in a folder the process may write to, so that only the
    // protection of the unreadable file can make the save fail.
    const auto loadAndSave = [this] {
        SettingsTable table;
        const bool loaded = table.load(path_);
        table.uf_set("QL_UPT_TIME", "1", "O");
        return !loaded && !table.save(path_);
    };
    if (geteuid() != 0) {
        EXPECT_TRUE(loadAndSave());
    } else {
        // Root reads every file: the check runs in a child that has become
        // "nobody" and owns the file, as the client's user would.
        constexpr uid_t nobody = 65534;
        ASSERT_EQ(chown(file.c_str(), nobody, nobody), 0);
        ASSERT_EQ(chmod(dir_.path().c_str(), 0777), 0);
        EXPECT_EXIT(
            {
                const bool dropped = setgroups(0, nullptr) == 0 && setgid(nobody) == 0 &&
                                     setuid(nobody) == 0 && access(file.c_str(), R_OK) != 0;
                std::_Exit(dropped && loadAndSave() ? 0 : 1);
            },
            ::testing::ExitedWithCode(0), "");
    }
    ASSERT_EQ(chmod(file.c_str(), 0600), 0);
    EXPECT_EQ(read(), "{\"rows\": []}");
}

TEST_F(SettingsTableTest, AMissingFileLoadsEmptyAndSaveCreatesIt) {
    SettingsTable table;
    EXPECT_FALSE(table.load(path_));
    EXPECT_EQ(table.rowCount(), 0);
    EXPECT_EQ(table.uf_set("QL_UPT_TIME", "5", "O"), "");
    ASSERT_TRUE(table.save(path_));
    EXPECT_EQ(read(), "{\n  \"rows\": [\n    {\n      \"CODE\": \"QL_UPT_TIME\",\n      "
                      "\"VALUE\": \"5\"\n    }\n  ]\n}\n");
    EXPECT_EQ(entriesOf(dir_.path()), std::vector<std::string>{"quil.psr"});
}

TEST_F(SettingsTableTest, AMissingFolderIsNotCreated) {
    const std::string path = dir_.filePath("gone/quil.psr");
    SettingsTable table;
    EXPECT_FALSE(table.load(path));
    table.uf_set("C", "v", "O");
    EXPECT_FALSE(table.save(path));
    EXPECT_FALSE(exists(dir_.filePath("gone")));
}

TEST_F(SettingsTableTest, AReadOnlyFileLoadsButIsNotReplaced) {
    const std::string original = "{\"rows\": [{\"CODE\": \"C\", \"VALUE\": \"v\"}]}";
    write(original);
    ASSERT_EQ(chmod(path_.c_str(), 0444), 0);
    SettingsTable table;
    ASSERT_TRUE(table.load(path_));
    EXPECT_EQ(table.uf_get("C", {}, "O"), "v");
    table.uf_set("C", "w", "O");
    EXPECT_FALSE(table.save(path_));
    EXPECT_EQ(read(), original);
    struct stat st {};
    ASSERT_EQ(stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444U);
}

TEST_F(SettingsTableTest, SaveReplacesTheFileByRenameAndKeepsItsMode) {
    write("{\"rows\": [{\"CODE\": \"C\", \"VALUE\": \"v\"}]}");
    ASSERT_EQ(chmod(path_.c_str(), 0640), 0);
    SettingsTable table;
    ASSERT_TRUE(table.load(path_));
    table.uf_set("C", "ours", "O");

    // The client replaces the file while we hold it; a reader has it open.
    const std::string replacement = dir_.filePath("client.tmp");
    const std::string clients = "{\"rows\": [{\"CODE\": \"C\", \"VALUE\": \"theirs\"}]}";
    write(clients, replacement);
    ASSERT_EQ(chmod(replacement.c_str(), 0640), 0);
    ASSERT_EQ(::rename(replacement.c_str(), path_.c_str()), 0);
    const int reader = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(reader, 0);

    ASSERT_TRUE(table.save(path_));
    // The open reader still sees the whole file it opened: nothing was written in place.
    std::string seen(clients.size() + 1, '\0');
    seen.resize(
        static_cast<std::size_t>(std::max<ssize_t>(0, ::read(reader, seen.data(), seen.size()))));
    ::close(reader);
    EXPECT_EQ(seen, clients);
    SettingsTable reloaded;
    ASSERT_TRUE(reloaded.load(path_));
    EXPECT_EQ(reloaded.uf_get("C", {}, "O"), "ours");
    struct stat st {};
    ASSERT_EQ(stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640U);
    EXPECT_EQ(entriesOf(dir_.path()), std::vector<std::string>{"quil.psr"});
}

TEST_F(SettingsTableTest, ALinkedFileIsSavedThroughItsLink) {
    const std::string target = dir_.filePath("real.psr");
    write("{\"rows\": []}", target);
    ASSERT_EQ(::symlink(target.c_str(), path_.c_str()), 0);
    SettingsTable table;
    ASSERT_TRUE(table.load(path_));
    table.uf_set("C", "v", "O");
    ASSERT_TRUE(table.save(path_));
    EXPECT_TRUE(isLink(path_));
    SettingsTable reloaded;
    ASSERT_TRUE(reloaded.load(target));
    EXPECT_EQ(reloaded.uf_get("C", {}, "O"), "v");

    // A link to nothing is still the client's entry: not ours to replace.
    const std::string dangling = dir_.filePath("dangling.psr");
    ASSERT_EQ(::symlink(dir_.filePath("nowhere").c_str(), dangling.c_str()), 0);
    EXPECT_FALSE(table.load(dangling));
    EXPECT_FALSE(table.save(dangling));
    EXPECT_TRUE(isLink(dangling));
    EXPECT_FALSE(exists(dir_.filePath("nowhere")));
}

// A small tmpfs of its own, filled to the last byte, is a disk that is full for real.
TEST_F(SettingsTableTest, AFullDiskLeavesTheFileAsItWas) {
    const std::string disk = dir_.filePath("disk");
    ASSERT_TRUE(std::filesystem::create_directory(disk));
    struct Mount {
        std::string point;
        ~Mount() { umount2(point.c_str(), MNT_DETACH); }
    } const mounted{disk};
    if (mount("tmpfs", mounted.point.c_str(), "tmpfs", 0, "size=256k") != 0) {
        GTEST_SKIP() << "no tmpfs can be mounted here: " << std::strerror(errno);
    }
    const std::string path = disk + "/quil.psr";
    const std::string original = R"({"rows": [{"CODE": "C", "VALUE": "v"}]})";
    write(original, path);
    const int filler = open((disk + "/filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    // tmpfs hands out whole pages.
    const std::vector<char> page(4096, 'f');
    while (::write(filler, page.data(), page.size()) > 0) {
    }
    close(filler);

    SettingsTable table;
    EXPECT_TRUE(table.load(path));
    // Small enough to sit in a write buffer until the file is closed.
    table.uf_set("C", std::string(2000, 'x'), "O");
    EXPECT_FALSE(table.save(path));
    EXPECT_EQ(read(path), original);
    EXPECT_EQ(entriesOf(disk), (std::vector<std::string>{"filler", "quil.psr"}));
}

// A save killed before its rename leaves its temporary file; only files of
// exactly that name, for this settings file, are ours to remove.
TEST_F(SettingsTableTest, LoadRemovesWhatKilledSavesLeftAndNothingElse) {
    const std::vector<std::string> others = {".other.psr.qlx-save-Ab12Cd",
                                             ".quil.psr.qlx-save-Ab12C",
                                             ".quil.psr.qlx-save-Ab12Cd~", "quil.psr"};
    for (const std::string& name : others) {
        write("{\"rows\": []}", dir_.filePath(name));
    }
    write("{\"rows\": []}", dir_.filePath(".quil.psr.qlx-save-Ab12Cd"));
    ASSERT_TRUE(std::filesystem::create_directory(dir_.filePath(".quil.psr.qlx-save-Folder")));
    SettingsTable table;
    EXPECT_TRUE(table.load(path_));
    EXPECT_EQ(entriesOf(dir_.path(), /*filesOnly=*/true), others);
    EXPECT_TRUE(test::folderExists(dir_.filePath(".quil.psr.qlx-save-Folder")));
}

TEST_F(SettingsTableTest, TenMegabytesOfRowsLoadAndSave) {
    std::string big = "{\n  \"rows\": [\n";
    int rows = 0;
    while (big.size() < 10 * 1024 * 1024) {
        if (rows > 0) {
            big.append(",\n");
        }
        big.append("    {\n      \"CODE\": \"code-" + std::to_string(rows) +
                   "\",\n      \"VALUE\": \"값 " + std::to_string(rows) + "\"\n    }");
        ++rows;
    }
    big.append("\n  ]\n}\n");
    write(big);

    SettingsTable table;
    ASSERT_TRUE(table.load(path_));
    ASSERT_EQ(table.rowCount(), rows);
    const std::string last = "code-" + std::to_string(rows - 1);
    EXPECT_EQ(table.uf_get(last, {}, "O"), "값 " + std::to_string(rows - 1));
    ASSERT_TRUE(table.save(path_));
    EXPECT_EQ(read(), big);
    EXPECT_EQ(table.uf_set("QL_UPT_TIME", "1", "O"), "");
    ASSERT_TRUE(table.save(path_));
    SettingsTable reloaded;
    ASSERT_TRUE(reloaded.load(path_));
    EXPECT_EQ(reloaded.rowCount(), rows + 1);
}

} // namespace
} // namespace qlx
