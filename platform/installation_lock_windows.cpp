#include "platform/installation_lock.h"
#include "platform/text_encoding.h"

#include <cstdint>
#include <cwchar>
#include <vector>
#include <windows.h>

namespace qlx {

namespace {

// One name per folder however it is spelt: its full path, in capitals (the
// file system ignores case), hashed, since a mutex name cannot hold "\".
std::wstring mutexName(const std::string& folder) {
    const std::wstring given = toUtf16(folder);
    std::vector<wchar_t> full(32768);
    DWORD length =
        GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    std::wstring path =
        length > 0 && length < full.size() ? std::wstring(full.data(), length) : given;
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) {
        path.pop_back();
    }
    CharUpperBuffW(path.data(), static_cast<DWORD>(path.size()));
    std::uint64_t hash = 14695981039346656037ULL;
    for (const wchar_t unit : path) {
        hash = (hash ^ static_cast<std::uint16_t>(unit)) * 1099511628211ULL;
    }
    wchar_t hex[17] = {};
    std::swprintf(hex, 17, L"%016llx", static_cast<unsigned long long>(hash));
    // Global: an updater of another user's session replaces the same files.
    return std::wstring(L"Global\\qlx_upt-") + hex;
}

} // namespace

void InstallationLock::release() {
    if (handle_ != kNone) {
        HANDLE mutex = reinterpret_cast<HANDLE>(handle_);
        if (state_ == State::Held) {
            ReleaseMutex(mutex);
        }
        CloseHandle(mutex);
        handle_ = kNone;
    }
}

InstallationLock InstallationLock::take(const std::string& folder) {
    InstallationLock lock;
    // Not inheritable: the client started at the end must not hold it on.
    HANDLE mutex = CreateMutexW(nullptr, FALSE, mutexName(folder).c_str());
    if (mutex == nullptr) {
        return lock;
    }
    // Owning the mutex is the lock; a holder that died left it abandoned, free.
    const DWORD waited = WaitForSingleObject(mutex, 0);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
        lock.state_ = State::Held;
        lock.handle_ = reinterpret_cast<std::intptr_t>(mutex);
        return lock;
    }
    lock.state_ = waited == WAIT_TIMEOUT ? State::Busy : State::Unavailable;
    CloseHandle(mutex);
    return lock;
}

} // namespace qlx
