// Runs the Toolhelp walk and termination against real Windows processes: copies
// of a sleeper started under the client's program names.
#include "process/toolhelp_walk.h"

#undef UNICODE
#include <cstdio>
#include <string>
#include <windows.h>

namespace {

int failures = 0;

void check(bool ok, const char* what) {
    std::printf("%s: %s\n", ok ? "ok  " : "FAIL", what);
    if (!ok) {
        ++failures;
    }
}

int countNamed(const qlx::toolhelp::Walk& walk, const std::string& name) {
    int n = 0;
    for (const auto& e : walk.rest) {
        n += e.exeName == name ? 1 : 0;
    }
    return n;
}

std::string nameOf(const qlx::toolhelp::Walk& walk, std::uint32_t pid) {
    for (const auto& e : walk.rest) {
        if (e.pid == pid) {
            return e.exeName;
        }
    }
    return "<absent>";
}

std::string folderOfThisProgram() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s(path);
    return s.substr(0, s.find_last_of("\\/"));
}

PROCESS_INFORMATION start(const std::string& program) {
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    std::string commandLine = "\"" + program + "\"";
    if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &si, &pi)) {
        std::printf("FAIL: cannot start %s (error %lu)\n", program.c_str(), GetLastError());
        ++failures;
    }
    return pi;
}

} // namespace

int main() {
    const std::string here = folderOfThisProgram();
    const std::string sleeper = here + "\\sleeper.exe";
    CreateDirectoryA((here + "\\a").c_str(), nullptr);
    CreateDirectoryA((here + "\\b").c_str(), nullptr);
    const std::string quillon = here + "\\a\\quillon.exe";
    const std::string otherCase = here + "\\b\\Quillon.exe";
    check(CopyFileA(sleeper.c_str(), quillon.c_str(), FALSE) != FALSE, "copy to quillon.exe");
    check(CopyFileA(sleeper.c_str(), otherCase.c_str(), FALSE) != FALSE, "copy to Quillon.exe");

    const auto before = qlx::toolhelp::walkProcesses();
    check(!before.rest.empty(), "the walk finds processes after the first entry");
    check(countNamed(before, "quillon.exe") == 0, "no quillon.exe before the start");

    PROCESS_INFORMATION a = start(quillon);
    PROCESS_INFORMATION b = start(otherCase);
    const auto running = qlx::toolhelp::walkProcesses();
    check(countNamed(running, "quillon.exe") == 1, "one quillon.exe running");
    check(countNamed(running, "Quillon.exe") == 1, "the other case keeps its own name");
    check(nameOf(running, a.dwProcessId) == "quillon.exe", "the entry carries the started id");
    check(nameOf(running, GetCurrentProcessId()) == "toolhelp_test.exe", "the walk sees itself");

    check(qlx::toolhelp::terminateProcess(a.dwProcessId), "terminating quillon.exe succeeds");
    check(WaitForSingleObject(a.hProcess, 10000) == WAIT_OBJECT_0, "quillon.exe ended");
    DWORD code = 99;
    GetExitCodeProcess(a.hProcess, &code);
    check(code == 0, "with exit code 0");
    CloseHandle(a.hProcess);
    CloseHandle(a.hThread);

    const auto after = qlx::toolhelp::walkProcesses();
    check(countNamed(after, "quillon.exe") == 0, "no quillon.exe after termination");
    check(countNamed(after, "Quillon.exe") == 1, "Quillon.exe still runs");
    // An ended id is not checked here: wine keeps the ended process openable
    // and lets TerminateProcess succeed on it, unlike Windows.
    check(!qlx::toolhelp::terminateProcess(0xFFFFFFF0U), "a nonexistent id cannot be terminated");

    check(qlx::toolhelp::terminateProcess(b.dwProcessId), "terminating Quillon.exe succeeds");
    check(WaitForSingleObject(b.hProcess, 10000) == WAIT_OBJECT_0, "Quillon.exe ended");
    CloseHandle(b.hProcess);
    CloseHandle(b.hThread);

    std::printf("%d failure(s)\n", failures);
    return failures == 0 ? 0 : 1;
}
