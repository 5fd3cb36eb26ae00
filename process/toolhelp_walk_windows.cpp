#include "process/toolhelp_walk.h"

// The narrow-character record and functions are wanted whatever the build
// defines.
#undef UNICODE
#undef _UNICODE
// clang-format off
#include <windows.h>
#include <tlhelp32.h>
// clang-format on

#include <cstring>
#include <new>

namespace qlx::toolhelp {

namespace {

// Processes alone: the walk reads nothing else. Asking for the heap lists,
// threads and modules as well makes every snapshot copy all of them for
// nothing (heap lists are slow to take), and the module list can fail with
// ERROR_BAD_LENGTH while a DLL loads, which would fail the whole snapshot and
// so hide a second updater.
constexpr DWORD kSnapshotFlags = TH32CS_SNAPPROCESS;
constexpr DWORD kRecordSize = 1506;
constexpr DWORD kTerminateRight = 1; // PROCESS_TERMINATE

// The record announces 1506 bytes to the platform, so 1506 bytes are what it
// gets: the PROCESSENTRY32 sits at the start of a zeroed buffer of that size.
struct RecordBuffer {
    static_assert(sizeof(PROCESSENTRY32) <= kRecordSize);
    alignas(PROCESSENTRY32) unsigned char bytes[kRecordSize] = {};

    PROCESSENTRY32* record() { return std::launder(reinterpret_cast<PROCESSENTRY32*>(bytes)); }
};

Entry entryOf(const PROCESSENTRY32& record) {
    Entry entry;
    entry.pid = record.th32ProcessID;
    entry.parentPid = record.th32ParentProcessID;
    const std::size_t length = strnlen(record.szExeFile, sizeof(record.szExeFile));
    entry.exeName.assign(record.szExeFile, length);
    return entry;
}

} // namespace

Walk walkProcesses() {
    RecordBuffer buffer;
    PROCESSENTRY32* record = new (buffer.bytes) PROCESSENTRY32{};
    record->dwSize = kRecordSize;

    // The handle is not tested: a failed snapshot yields no entries below.
    HANDLE snapshot = CreateToolhelp32Snapshot(kSnapshotFlags, 0);
    Walk walk;
    Process32First(snapshot, record);
    walk.first = entryOf(*record);
    while (Process32Next(snapshot, record) != FALSE) {
        walk.rest.push_back(entryOf(*record));
    }
    CloseHandle(snapshot);
    return walk;
}

bool terminateProcess(std::uint32_t pid) {
    HANDLE process = OpenProcess(kTerminateRight, FALSE, pid);
    // A process that could not be opened fails at TerminateProcess on the null handle.
    const bool terminated = TerminateProcess(process, 0) != FALSE;
    if (process != nullptr) {
        CloseHandle(process);
    }
    return terminated;
}

} // namespace qlx::toolhelp
