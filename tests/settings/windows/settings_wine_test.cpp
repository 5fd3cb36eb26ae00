// The settings store on the Windows file functions: UTF-16 paths, the atomic
// replacement, the clean-up after killed saves and the files it must not touch.
#include "settings/settings_table.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>
#include <windows.h>

namespace {

namespace fs = std::filesystem;

int failures = 0;

void check(bool ok, const char* what) {
    std::printf("%s: %s\n", ok ? "ok  " : "FAIL", what);
    if (!ok) {
        ++failures;
    }
}

fs::path pathOf(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

void write(const std::string& path, const std::string& bytes) {
    std::ofstream(pathOf(path), std::ios::binary | std::ios::trunc) << bytes;
}

std::string read(const std::string& path) {
    std::ifstream in(pathOf(path), std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "<missing>";
}

std::vector<std::string> entriesOf(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(pathOf(folder))) {
        const std::u8string name = entry.path().filename().u8string();
        names.emplace_back(name.begin(), name.end());
    }
    std::sort(names.begin(), names.end());
    return names;
}

DWORD attributesOf(const std::string& path) {
    return GetFileAttributesW(pathOf(path).c_str());
}

} // namespace

int main() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::u8string base = (fs::path(temp) / L"qlx settings \uD55C\uAE00").u8string();
    const std::string folder(base.begin(), base.end());
    fs::remove_all(pathOf(folder));
    fs::create_directories(pathOf(folder));
    const std::string path = folder + "\\quil.psr";

    qlx::SettingsTable table;
    check(!table.load(path), "a missing file loads as empty");
    table.uf_set("QL_UPT_TIME", "5", "O");
    check(table.save(path), "the save creates the file");
    const std::string created = "{\n  \"rows\": [\n    {\n      \"CODE\": \"QL_UPT_TIME\",\n      "
                                "\"VALUE\": \"5\"\n    }\n  ]\n}\n";
    check(read(path) == created, "with the rows in the canonical layout");
    check(entriesOf(folder) == std::vector<std::string>{"quil.psr"}, "and nothing beside it");

    write(path, "\xEF\xBB\xBF{\"rows\": [{\"CODE\": \"C\", \"VALUE\": \"v\"}], \"z\": 1}");
    SetFileAttributesW(pathOf(path).c_str(), FILE_ATTRIBUTE_HIDDEN);
    write(folder + "\\.quil.psr.qlx-save-Ab12Cd", "left by a killed save");
    write(folder + "\\.quil.psr.qlx-save-Ab12C", "not a name a save gives");
    check(table.load(path), "an existing file loads");
    check(entriesOf(folder) == std::vector<std::string>{".quil.psr.qlx-save-Ab12C", "quil.psr"},
          "load removes exactly what killed saves left");
    check(table.uf_set("C", "w", "O") == qlx::OptString("v"), "the row is found");
    check(table.save(folder + "/./quil.psr"), "the save replaces the file");
    check(read(path) == "\xEF\xBB\xBF{\n  \"rows\": [\n    {\n      \"CODE\": \"C\",\n      "
                        "\"VALUE\": \"w\"\n    }\n  ],\n  \"z\": 1\n}\n",
          "the mark and the other members are written back");
    check((attributesOf(path) & FILE_ATTRIBUTE_HIDDEN) != 0, "the file stays hidden");

    const std::string broken = "{\"rows\": [";
    write(path, broken);
    SetFileAttributesW(pathOf(path).c_str(), FILE_ATTRIBUTE_NORMAL);
    check(!table.load(path), "a malformed file loads as empty");
    check(!table.save(path) && !table.save(folder + "\\.\\quil.psr") &&
              !table.save(folder + "/quil.psr"),
          "and is not replaced under any spelling");
    check(read(path) == broken, "it stays as it was");

    write(path, "{\"rows\": []}");
    SetFileAttributesW(pathOf(path).c_str(), FILE_ATTRIBUTE_READONLY);
    check(table.load(path), "a read-only file loads");
    check(!table.save(path) && read(path) == "{\"rows\": []}", "but is not replaced");
    SetFileAttributesW(pathOf(path).c_str(), FILE_ATTRIBUTE_NORMAL);

    const std::string sub = folder + "\\sub.psr";
    fs::create_directory(pathOf(sub));
    check(!table.load(sub) && !table.save(sub), "a folder in place of the file is left alone");
    check(!table.save(folder + "\\gone\\quil.psr"), "a missing folder is not created");

    fs::remove_all(pathOf(folder));
    std::printf("%d failure(s)\n", failures);
    return failures == 0 ? 0 : 1;
}
