#include "libs/ezip/tree.h"
#include "libs/ezip/zip_builder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>

extern "C" short Vexa_Unzip(const char* szzipfilename, const char* szdirname);

namespace fs = std::filesystem;
using ezip_test::run;
using ezip_test::shellQuoted;
using ezip_test::ZipBuilder;

namespace {

const std::string python = "/usr/bin/python3";
const std::string script = EZIP_TEST_SOURCE_DIR "/make_archive.py";

class ToolArchive : public ::testing::Test {
protected:
    void SetUp() override {
        umask(022);
        fs::create_directories(ours());
        fs::create_directories(theirs());
        fs::create_directories(expected());
    }

    [[nodiscard]] fs::path ours() const { return scratch_.path() / "ours"; }
    [[nodiscard]] fs::path theirs() const { return scratch_.path() / "unzip"; }
    [[nodiscard]] fs::path expected() const { return scratch_.path() / "expected"; }
    [[nodiscard]] fs::path archive() const { return scratch_.path() / "archive.zip"; }
    [[nodiscard]] fs::path source() const { return scratch_.path() / "source"; }

    [[nodiscard]] short extract() const { return Vexa_Unzip(archive().c_str(), ours().c_str()); }

    void expectSameAsUnzip() const {
        ASSERT_EQ(
            run("/usr/bin/unzip -q -o " + shellQuoted(archive()) + " -d " + shellQuoted(theirs())),
            0);
        EXPECT_EQ(ezip_test::snapshot(ours()), ezip_test::snapshot(theirs()));
    }

    // A tree with nested and empty folders, empty, text, binary and
    // executable files, for the Info-ZIP cases.
    void makeSource() const {
        fs::create_directories(source() / "app" / "lib" / "deep");
        fs::create_directories(source() / "empty-folder");
        ezip_test::writeFile(source() / "empty.txt", "");
        std::string text;
        for (int i = 0; i < 5000; ++i) {
            text += "line " + std::to_string(i) + " of the release notes\n";
        }
        ezip_test::writeFile(source() / "app" / "notes.txt", text);
        std::string binary(400000, '\0');
        unsigned state = 12345;
        for (auto& c : binary) {
            state = state * 1103515245U + 12345U;
            c = static_cast<char>(state >> 24U);
        }
        ezip_test::writeFile(source() / "app" / "lib" / "deep" / "blob.bin", binary);
        ezip_test::writeFile(source() / "app" / "run.sh", "#!/bin/sh\necho run\n");
        fs::permissions(source() / "app" / "run.sh", fs::perms(0755));
    }

    ezip_test::ScratchFolder scratch_;
};

struct InfoZipCase {
    const char* what;
    const char* command; // run in the source folder; %s is the archive
};

class InfoZipArchive : public ToolArchive, public ::testing::WithParamInterface<InfoZipCase> {};

TEST_P(InfoZipArchive, ExtractsAsUnzipDoes) {
    makeSource();
    std::string command = GetParam().command;
    command.replace(command.find("%s"), 2, shellQuoted(archive()));
    ASSERT_EQ(run("cd " + shellQuoted(source()) + " && " + command), 0);
    ASSERT_EQ(extract(), 0);
    expectSameAsUnzip();
    EXPECT_EQ(ezip_test::snapshot(ours()), ezip_test::snapshot(source()));
}

INSTANTIATE_TEST_SUITE_P(
    Tools, InfoZipArchive,
    ::testing::Values(InfoZipCase{"stored", "/usr/bin/zip -q -r -0 %s ."},
                      InfoZipCase{"deflated", "/usr/bin/zip -q -r -6 %s ."},
                      InfoZipCase{"best", "/usr/bin/zip -q -r -9 %s ."},
                      // Writing to a pipe gives every entry a data descriptor.
                      InfoZipCase{"streamed", "/usr/bin/zip -q -r - . | cat > %s"},
                      // 1000:1, as any zero-filled file or log.
                      InfoZipCase{"zeros", "head -c 8388608 /dev/zero > zeros && "
                                           "/usr/bin/zip -q -r %s ."},
                      // Every name starts with "./".
                      InfoZipCase{"bsdtar", "/usr/bin/bsdtar --format zip -cf %s ."}),
    [](const ::testing::TestParamInfo<InfoZipCase>& param) {
        return std::string(param.param.what);
    });

class PythonArchive : public ToolArchive, public ::testing::WithParamInterface<const char*> {};

TEST_P(PythonArchive, ExtractsToTheExpectedTree) {
    const std::string mode = GetParam();
    const bool streamed = mode.ends_with("-streamed");
    const std::string kind = streamed ? mode.substr(0, mode.size() - 9) : mode;
    const std::string command = python + " " + shellQuoted(script) + " " +
                                (streamed ? std::string("-") : shellQuoted(archive())) + " " +
                                kind + " " + shellQuoted(expected()) +
                                (streamed ? " | cat > " + shellQuoted(archive()) : std::string());
    ASSERT_EQ(run(command), 0);
    ASSERT_EQ(extract(), 0);
    auto wanted = ezip_test::snapshot(expected());
    EXPECT_EQ(ezip_test::snapshot(ours()), wanted);
    if (kind != "utf8" && kind != "cp949" && kind != "jdk" && kind != "utf8-fat") {
        // unzip keeps "\" in names on POSIX; that entry aside, the trees agree.
        ASSERT_EQ(run("/usr/bin/unzip -q -o " + shellQuoted(archive()) + " -d " +
                      shellQuoted(theirs()) + " -x 'windows*'"),
                  0);
        fs::remove_all(ours() / "windows");
        EXPECT_EQ(ezip_test::snapshot(ours()), ezip_test::snapshot(theirs()));
    }
}

INSTANTIATE_TEST_SUITE_P(Tools, PythonArchive,
                         ::testing::Values("stored", "deflated", "zip64", "utf8", "cp949", "jdk",
                                           "utf8-fat", "deflated-streamed", "zip64-streamed"),
                         [](const ::testing::TestParamInfo<const char*>& param) {
                             std::string name = param.param;
                             for (auto& c : name) {
                                 c = c == '-' ? '_' : c;
                             }
                             return name;
                         });

// Runs `command` in `folder`, with %s standing for the archive.
void tool(const fs::path& folder, std::string command, const fs::path& archive) {
    command.replace(command.find("%s"), 2, shellQuoted(archive));
    fs::create_directories(folder);
    ASSERT_EQ(run("cd " + shellQuoted(folder) + " && " + command), 0) << command;
}

// Names and bytes only: the unpackers give odd modes different permissions.
ezip_test::Tree contentsOf(const fs::path& folder) {
    auto tree = ezip_test::snapshot(folder);
    for (auto& [path, value] : tree) {
        value.erase(0, path.ends_with("/") ? 0 : value.find(':') + 1);
    }
    return tree;
}

// A zip64 end record of all ones, a comment that runs past the end, stray
// bytes after the last extra record, a Unix file with every DOS attribute set.
std::string oddRecords() {
    ZipBuilder zip;
    zip.entry(zip.addDeflated("all-bits.txt", "a file\n")).externalAttributes =
        (0100644U << 16U) | 0xFFFFU;
    zip.entry(zip.addStored("stray.txt", "s\n")).centralExtra =
        std::string("UT\x05\0\x01\x80\x3B\x5A\x67\xAB\xCD\xEF", 12);
    std::string bytes = zip.finishZip64();
    bytes[bytes.size() - 2] = 40; // the comment's length
    return bytes + "cut short";
}

// Device and socket modes, which bsdtar would create as such, and an extra
// field shorter than a record's header, which bsdtar refuses.
std::string oddModes() {
    ZipBuilder zip;
    for (const std::uint32_t mode : {0020644U, 0060600U, 0140755U}) {
        zip.entry(zip.addStored("node" + std::to_string(mode), "bytes")).externalAttributes =
            mode << 16U;
    }
    zip.entry(zip.addDeflated("a.txt", "a\n")).centralExtra = "\x01";
    return zip.finish();
}

// A record whose comment runs past the end of the file, after an entry whose
// data is a whole archive of its own: the other unpackers take the last
// record, and so the outer entry.
std::string recordHiddenInData() {
    ZipBuilder inner;
    inner.addStored("file", "hidden\n");
    ZipBuilder outer;
    outer.addStored("FILE", inner.finish());
    std::string bytes = outer.finish();
    bytes[bytes.size() - 2] = 40; // the comment's length
    return bytes + "cut short";
}

struct PeerCase {
    const char* what;
    const char* command; // run in an empty folder, or null for `crafted`
    std::string (*crafted)();
    bool bsdtar; // bsdtar unpacks it too
};

class PeerArchive : public ToolArchive, public ::testing::WithParamInterface<PeerCase> {};

TEST_P(PeerArchive, ExtractsAsUnzipAndBsdtarDo) {
    if (GetParam().command != nullptr) {
        tool(source(), GetParam().command, archive());
    } else {
        ezip_test::writeFile(archive(), GetParam().crafted());
    }
    ASSERT_EQ(extract(), 0);
    const auto got = contentsOf(ours());
    EXPECT_FALSE(got.empty());
    // 1 is unzip's warning, for bytes in front of the archive, after which it
    // unpacks.
    ASSERT_LE(
        run("/usr/bin/unzip -qq -o " + shellQuoted(archive()) + " -d " + shellQuoted(theirs())), 1);
    EXPECT_EQ(got, contentsOf(theirs()));
    if (GetParam().bsdtar) {
        ASSERT_EQ(
            run("/usr/bin/bsdtar -xf " + shellQuoted(archive()) + " -C " + shellQuoted(expected())),
            0);
        EXPECT_EQ(got, contentsOf(expected()));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, PeerArchive,
    ::testing::Values(
        PeerCase{"written_from_a_pipe", "echo data | /usr/bin/zip -q - - > %s", nullptr, false},
        PeerCase{"odd_records", nullptr, oddRecords, true},
        PeerCase{"odd_modes_and_extras", nullptr, oddModes, false},
        PeerCase{"comment_past_the_end_after_a_hidden_record", nullptr, recordHiddenInData, true},
        // A self-extractor's stub before a plain archive, without
        // `zip -A` to count it in the offsets.
        PeerCase{"stub_in_front",
                 "seq 20000 > n.txt && mkdir d && echo a > d/a.txt && "
                 "/usr/bin/zip -q -r ../plain.zip . && "
                 "head -c 5000 /bin/sh | cat - ../plain.zip > %s",
                 nullptr, true},
        // bsdtar finds no entry in it and says nothing.
        PeerCase{"stub_in_front_of_zip64",
                 "/usr/bin/python3 -c 'import zipfile as z; "
                 "z.ZIP_FILECOUNT_LIMIT = 1; f = z.ZipFile(\"../64.zip\", \"w\", 8); "
                 "f.writestr(\"a.txt\", \"a\" * 5000); f.writestr(\"d/b\", \"b\"); "
                 "f.close()' && head -c 5000 /bin/sh | cat - ../64.zip > %s",
                 nullptr, false}),
    [](const ::testing::TestParamInfo<PeerCase>& param) { return std::string(param.param.what); });

struct NameSetCase {
    const char* what;
    const char* mode;    // of make_archive.py
    const char* command; // remakes the archive from the expected tree, or null
};

class NameSet : public ToolArchive, public ::testing::WithParamInterface<NameSetCase> {};

// Unflagged names as Unix tools write them (UTF-8) and as Korean Windows tools
// write them (CP949): a few hundred random Hangul, Latin and CJK names, many
// valid in both encodings, must all come out as written.
TEST_P(NameSet, EveryNameComesOutAsWritten) {
    ASSERT_EQ(run(python + " " + shellQuoted(script) + " " + shellQuoted(archive()) + " " +
                  GetParam().mode + " " + shellQuoted(expected())),
              0);
    if (GetParam().command != nullptr) {
        fs::remove(archive());
        tool(expected(), GetParam().command, archive());
    }
    EXPECT_EQ(extract(), 0);
    const auto wanted = ezip_test::snapshot(expected());
    const auto got = ezip_test::snapshot(ours());
    std::size_t right = 0;
    for (const auto& [path, value] : wanted) {
        right += got.count(path) != 0 && got.at(path) == value ? 1 : 0;
    }
    EXPECT_EQ(right, wanted.size()) << right << " of " << wanted.size() << " names right";
}

INSTANTIATE_TEST_SUITE_P(
    Tools, NameSet,
    ::testing::Values(NameSetCase{"zipfile_on_Unix", "names", nullptr},
                      NameSetCase{"Info_ZIP", "names", "/usr/bin/zip -q -r %s ."},
                      NameSetCase{"bsdtar", "names",
                                  "LC_ALL=C /usr/bin/bsdtar --format zip -cf %s *"},
                      NameSetCase{"Korean_Windows", "names-cp949", nullptr}),
    [](const ::testing::TestParamInfo<NameSetCase>& param) {
        return std::string(param.param.what);
    });

TEST_F(ToolArchive, HangulNamesFromInfoZipStayUtf8) {
    fs::create_directories(source() / "\xED\x95\x9C\xEA\xB8\x80");
    ezip_test::writeFile(source() / "\xED\x95\x9C\xEA\xB8\x80" / "\xEB\xAC\xB8\xEC\x84\x9C.txt",
                         "doc\n");
    ASSERT_EQ(run("cd " + shellQuoted(source()) + " && /usr/bin/zip -q -r " +
                  shellQuoted(archive()) + " ."),
              0);
    ASSERT_EQ(extract(), 0);
    EXPECT_EQ(ezip_test::snapshot(ours()), ezip_test::snapshot(source()));
}

TEST_F(ToolArchive, EachFileTakesTheTimeOfItsEntryAsUnzipSetsIt) {
    // The second time shares a slot of the conversion cache with the first,
    // which comes back after it; the others lie years and seasons apart.
    const std::string make =
        python +
        " -c 'import sys, zipfile\n"
        "times = [(2026, 3, 29, 10, 0, 0), (2026, 3, 29, 10, 4, 0), (2026, 7, 1, 12, 30, 2),\n"
        "         (1999, 12, 31, 23, 59, 58), (2026, 3, 29, 10, 0, 0)]\n"
        "with zipfile.ZipFile(sys.argv[1], \"w\") as z:\n"
        "    for i, t in enumerate(times):\n"
        "        z.writestr(zipfile.ZipInfo(f\"t{i}.txt\", t), str(i))\n' " +
        shellQuoted(archive());
    ASSERT_EQ(run(make), 0);
    ASSERT_EQ(extract(), 0);
    ASSERT_EQ(
        run("/usr/bin/unzip -q -o " + shellQuoted(archive()) + " -d " + shellQuoted(theirs())), 0);
    for (int i = 0; i < 5; ++i) {
        const std::string name = "t" + std::to_string(i) + ".txt";
        EXPECT_EQ(fs::last_write_time(ours() / name), fs::last_write_time(theirs() / name)) << name;
    }
    EXPECT_NE(fs::last_write_time(ours() / "t0.txt"), fs::last_write_time(ours() / "t1.txt"));
}

TEST_F(ToolArchive, ReplacesExistingFilesAndKeepsTheOthers) {
    makeSource();
    ASSERT_EQ(run("cd " + shellQuoted(source()) + " && /usr/bin/zip -q -r " +
                  shellQuoted(archive()) + " ."),
              0);
    ezip_test::writeFile(ours() / "empty.txt", "was not empty");
    fs::create_directories(ours() / "app");
    ezip_test::writeFile(ours() / "app" / "notes.txt", "old notes");
    fs::permissions(ours() / "app" / "notes.txt", fs::perms(0444));
    ezip_test::writeFile(ours() / "app" / "local.cfg", "the client's own file");
    ezip_test::writeFile(ours() / "quil.psr", "settings");

    ASSERT_EQ(extract(), 0);

    auto wanted = ezip_test::snapshot(source());
    wanted["app/local.cfg"] = "420:the client's own file";
    wanted["quil.psr"] = "420:settings";
    EXPECT_EQ(ezip_test::snapshot(ours()), wanted);
    // Again over its own result: every file is replaced by an equal one.
    ASSERT_EQ(extract(), 0);
    EXPECT_EQ(ezip_test::snapshot(ours()), wanted);
}

// Archives made on Windows carry no permissions. A file they replace keeps
// its own (above all an installed program its execute bits); where the
// archive carries a mode, the archive's mode wins.
TEST_F(ToolArchive, AnArchiveWithoutModesKeepsThePermissionsOfWhatItReplaces) {
    ezip_test::ZipBuilder zip;
    const auto windowsEntry = [&zip](const std::string& name, const std::string& data) {
        const auto i = zip.addDeflated(name, data);
        zip.entry(i).madeBy = 0x0014;            // MS-DOS, version 2.0
        zip.entry(i).externalAttributes = 0x20U; // the archive attribute only
    };
    windowsEntry("quillon", "new program");
    windowsEntry("readme.txt", "new readme");
    windowsEntry("added.txt", "added");
    const auto unixEntry = zip.addStored("tool", "new tool");
    zip.entry(unixEntry).externalAttributes = 0100644U << 16U;
    {
        std::ofstream out(archive(), std::ios::binary);
        out << zip.finish();
    }
    const auto place = [this](const char* name, fs::perms mode) {
        ezip_test::writeFile(ours() / name, "old");
        fs::permissions(ours() / name, mode);
    };
    place("quillon", fs::perms(0755));
    place("readme.txt", fs::perms(0640));
    place("tool", fs::perms(0755));

    ASSERT_EQ(extract(), 0);

    const auto mode = [this](const char* name) {
        return fs::status(ours() / name).permissions() & fs::perms::mask;
    };
    EXPECT_EQ(mode("quillon"), fs::perms(0755));
    EXPECT_EQ(mode("readme.txt"), fs::perms(0640));
    EXPECT_EQ(mode("added.txt"), fs::perms(0644));
    EXPECT_EQ(mode("tool"), fs::perms(0644));
    auto contents = ezip_test::snapshot(ours());
    EXPECT_EQ(contents["quillon"], "493:new program");
    EXPECT_EQ(contents["tool"], "420:new tool");
}

} // namespace
