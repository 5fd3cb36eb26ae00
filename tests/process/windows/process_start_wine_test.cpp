// Starts a program that records its arguments through startProgram and checks
// that the C runtime of the started program split the command line back into
// exactly the arguments given.
#include "process/process_start.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>
#include <windows.h>

namespace {

int failures = 0;

void check(bool ok, const char* what) {
    std::printf("%s: %s\n", ok ? "ok  " : "FAIL", what);
    if (!ok) {
        ++failures;
    }
}

std::string folderOfThisProgram() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s(path);
    return s.substr(0, s.find_last_of("\\/"));
}

std::string waitForFile(const std::string& path) {
    for (int i = 0; i < 1000; ++i) {
        std::ifstream in(path, std::ios::binary);
        if (in) {
            return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        }
        Sleep(10);
    }
    return "<nothing recorded>";
}

} // namespace

int main() {
    const std::string here = folderOfThisProgram();
    const std::string recorder = here + "\\argv_record.exe";
    // Blanks, quotes and backslashes in every position the quoting rules treat
    // differently, an empty argument, and text outside any code page.
    const std::vector<std::string> arguments = {
        "C:\\A B\\quil.psr", "",         "say \"hi\"", "back\\slash\\", "trail\\\\", "\\\"",
        "\\\\\"x",           "a\\b c\\", " lead ",     "tab\there",     "plain",     "한글 인수"};
    const std::string out = here + "\\argv.txt";
    DeleteFileA(out.c_str());
    std::vector<std::string> all{out};
    all.insert(all.end(), arguments.begin(), arguments.end());
    check(qlx::startProgram(recorder, all), "the recorder starts");
    std::string expected;
    for (const std::string& a : arguments) {
        expected += a;
        expected += '\0';
    }
    const std::string got = waitForFile(out);
    check(got == expected, "every argument arrives whole");
    if (got != expected) {
        std::printf("received: ");
        std::fwrite(got.data(), 1, got.size(), stdout);
        std::printf("\n");
    }

    check(!qlx::startProgram(here + "\\missing.exe", {"x"}), "a missing program is not started");
    check(!qlx::startProgram("", {}), "an empty name is not started");

    std::printf("%d failure(s)\n", failures);
    return failures == 0 ? 0 : 1;
}
