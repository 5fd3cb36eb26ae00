#include "libs/ezip/tree.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

extern "C" short Vexa_Unzip(const char* szzipfilename, const char* szdirname);

namespace fs = std::filesystem;
using ezip_test::run;
using ezip_test::shellQuoted;

namespace {

struct MethodCase {
    const char* what;
    // Run in the source folder; %a is the archive, %c the crafting script.
    std::string command;
    short result;
};

class MethodArchive : public ::testing::TestWithParam<MethodCase> {
protected:
    [[nodiscard]] fs::path path(const char* name) const { return scratch_.path() / name; }

    // Text that compresses, bytes that do not, an empty file and a nested one,
    // and a block that repeats farther back than Deflate's 32 KiB reach.
    void makeSource() const {
        fs::create_directories(path("source") / "lib" / "deep");
        std::string text;
        for (int i = 0; i < 40000; ++i) {
            text += "line " + std::to_string(i) + " of the release notes\n";
        }
        ezip_test::writeFile(path("source") / "notes.txt", text);
        std::string binary(300000, '\0');
        unsigned state = 4711;
        for (auto& c : binary) {
            state = state * 1103515245U + 12345U;
            c = static_cast<char>(state >> 24U);
        }
        ezip_test::writeFile(path("source") / "lib" / "deep" / "blob.bin", binary);
        const std::string block = binary.substr(0, 40000);
        ezip_test::writeFile(path("source") / "lib" / "repeated.bin",
                             block + block + block + block + block + "end");
        ezip_test::writeFile(path("source") / "empty.txt", "");
    }

    ezip_test::ScratchFolder scratch_;
};

TEST_P(MethodArchive, UnpacksAs7ZipDoesOrRefusesBeforeWriting) {
    makeSource();
    std::string command = GetParam().command;
    const auto replace = [&](const std::string& key, const std::string& value) {
        for (auto at = command.find(key); at != std::string::npos; at = command.find(key)) {
            command.replace(at, key.size(), value);
        }
    };
    replace("%a", shellQuoted(path("archive.zip")));
    replace("%c", shellQuoted(fs::path(EZIP_TEST_SOURCE_DIR) / "craft_method_archive.py"));
    ASSERT_EQ(run("cd " + shellQuoted(path("source")) + " && " + command + " >/dev/null"), 0);
    fs::create_directories(path("ours"));
    EXPECT_EQ(Vexa_Unzip(path("archive.zip").c_str(), path("ours").c_str()), GetParam().result);
    if (GetParam().result != 0) {
        EXPECT_TRUE(fs::is_empty(path("ours")));
        return;
    }
    // The bytes that went in; 7-Zip, where it reads the method, agrees.
    EXPECT_EQ(ezip_test::snapshot(path("ours")), ezip_test::snapshot(path("source")));
    if (run("/usr/bin/7zz x -y -o" + shellQuoted(path("7zip")) + " " +
            shellQuoted(path("archive.zip")) + " >/dev/null") == 0) {
        EXPECT_EQ(ezip_test::snapshot(path("ours")), ezip_test::snapshot(path("7zip")));
    }
}

const std::string pythonZip = "/usr/bin/python3 -c 'import sys, zipfile, os; "
                              "z = zipfile.ZipFile(sys.argv[1], \"w\", int(sys.argv[2])); "
                              "[z.write(os.path.join(r, f)) for r, _, fs in os.walk(\".\") "
                              "for f in fs]; z.close()' %a ";

INSTANTIATE_TEST_SUITE_P(
    Methods, MethodArchive,
    ::testing::Values(MethodCase{"bzip2_7zip", "/usr/bin/7zz a -tzip -mm=BZip2 %a .", 0},
                      MethodCase{"lzma_7zip", "/usr/bin/7zz a -tzip -mm=LZMA %a .", 0},
                      MethodCase{"deflate64_7zip", "/usr/bin/7zz a -tzip -mm=Deflate64 %a .", 0},
                      MethodCase{"deflate64_long_and_far", "/usr/bin/python3 %c %a 9 .", 0},
                      MethodCase{"bzip2_python", pythonZip + "12", 0},
                      MethodCase{"lzma_python_end_marker", pythonZip + "14", 0},
                      MethodCase{"xz", "/usr/bin/python3 %c %a 95 .", 0},
                      MethodCase{"zstd", "/usr/bin/python3 %c %a 93 .", 0},
                      MethodCase{"ppmd_refused", "/usr/bin/7zz a -tzip -mm=PPMd %a .", -10}),
    [](const ::testing::TestParamInfo<MethodCase>& param) {
        return std::string(param.param.what);
    });

} // namespace
