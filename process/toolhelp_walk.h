#pragma once

// The Toolhelp walk in plain C++ over the Windows API alone, so that it can be
// built and run on its own.

#include <cstdint>
#include <string>
#include <vector>

namespace qlx::toolhelp {

struct Entry {
    std::uint32_t pid = 0;
    std::uint32_t parentPid = 0;
    std::string exeName; // the record's szExeFile up to its terminating zero
};

struct Walk {
    Entry first; // what Process32First left in the record, even if it failed
    std::vector<Entry> rest;
};

// One snapshot of the processes, walked with Process32First / Process32Next.
Walk walkProcesses();

// OpenProcess with the terminate right, TerminateProcess with exit code 0.
bool terminateProcess(std::uint32_t pid);

} // namespace qlx::toolhelp
