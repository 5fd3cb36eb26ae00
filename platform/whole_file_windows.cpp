#include "platform/file_handle.h"
#include "platform/files.h"
#include "platform/long_path_windows.h"
#include "platform/save_names.h"
#include "platform/text_encoding.h"
#include "platform/whole_file.h"

#include <aclapi.h>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <fcntl.h>
#include <io.h>
#include <optional>
#include <sys/stat.h>
#include <vector>

namespace qlx {

namespace {

struct Location {
    std::wstring folder; // up to and with its last separator; may be empty or "C:"
    std::wstring name;
    [[nodiscard]] std::wstring path() const { return folder + name; }
};

// Where a save of `path` writes. A link is followed to the file it names, so
// that the client's link stays and its target gets the new contents; a link
// to nothing has no such file.
std::optional<Location> saveLocation(const std::string& path) {
    std::wstring target = toUtf16(path);
    if (target.empty()) {
        return std::nullopt;
    }
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        auto resolved = finalPath(target);
        if (!resolved) {
            return std::nullopt;
        }
        target = std::move(*resolved);
    }
    std::size_t cut = target.find_last_of(L"\\/");
    if (cut == std::wstring::npos && target.size() >= 2 && target[1] == L':') {
        cut = 1; // "C:name" is relative to the drive's current folder
    }
    Location at;
    if (cut == std::wstring::npos) {
        at = {std::wstring(), target};
    } else {
        at = {target.substr(0, cut + 1), target.substr(cut + 1)};
    }
    if (at.name.empty() || at.name == L"." || at.name == L"..") {
        return std::nullopt;
    }
    return at;
}

std::string temporaryPrefix(const Location& at) {
    return save_names::temporaryPrefix(fromUtf16(at.name));
}

// Uniqueness comes from CREATE_NEW; the noise only makes collisions rare.
std::string randomSuffix() {
    static std::uint64_t counter = 0;
    LARGE_INTEGER ticks{};
    QueryPerformanceCounter(&ticks);
    std::uint64_t state = static_cast<std::uint64_t>(ticks.QuadPart) ^
                          (static_cast<std::uint64_t>(GetCurrentProcessId()) << 32U) ^
                          (++counter * 0x9E3779B97F4A7C15ULL);
    // splitmix64: every input bit reaches every output bit.
    state = (state ^ (state >> 30U)) * 0xBF58476D1CE4E5B9ULL;
    state = (state ^ (state >> 27U)) * 0x94D049BB133111EBULL;
    state ^= state >> 31U;
    save_names::Noise noise{};
    for (unsigned char& n : noise) {
        n = static_cast<unsigned char>(state);
        state >>= 8U;
    }
    return save_names::randomSuffix(noise);
}

// The attributes the client gave the file, which a new file would not have.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// A new file of ours beside the target; closed when none could be created.
FileHandle createTemporary(const Location& at, DWORD attributes, std::wstring& temporary) {
    const std::wstring prefix = toUtf16(temporaryPrefix(at));
    constexpr int kAttempts = 100;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        temporary = at.folder + prefix + toUtf16(randomSuffix());
        FileHandle file = adopt(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr,
                                            CREATE_NEW, attributes, nullptr),
                                {});
        if (file.isOpen()) {
            return file;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            return {};
        }
    }
    return {};
}

bool writeAll(const FileHandle& file, std::string_view bytes) {
    return writeAll(file, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

// A rename would replace what we may not write to in place.
bool mayWrite(const std::wstring& target) {
    HANDLE file = CreateFileW(target.c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        // Only a refusal says so; anything else is for the replacement to find out.
        return GetLastError() != ERROR_ACCESS_DENIED;
    }
    CloseHandle(file);
    return true;
}

std::string systemError(const std::string& path, DWORD code) {
    return path + ": system error " + std::to_string(code);
}

// The user the program runs as, written into `buffer`; null when unknown.
PSID currentUser(std::vector<unsigned char>& buffer) {
    HANDLE token = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) == 0) {
        return nullptr;
    }
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    buffer.resize(size);
    const bool known =
        size > 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size) != 0;
    CloseHandle(token);
    return known ? reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid : nullptr;
}

// Owner only: an access list with the one user, which the folder's entries
// are not inherited into.
struct OwnerOnlyAccess {
    OwnerOnlyAccess() = default;
    ~OwnerOnlyAccess() {
        if (acl != nullptr) {
            LocalFree(acl);
        }
    }
    OwnerOnlyAccess(const OwnerOnlyAccess&) = delete;
    OwnerOnlyAccess& operator=(const OwnerOnlyAccess&) = delete;

    // False, with the system's error, when the list cannot be made.
    bool make() {
        EXPLICIT_ACCESS_W access{};
        access.grfAccessPermissions = GENERIC_ALL;
        access.grfAccessMode = SET_ACCESS;
        access.grfInheritance = NO_INHERITANCE;
        access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
        access.Trustee.TrusteeType = TRUSTEE_IS_USER;
        access.Trustee.ptstrName = static_cast<LPWSTR>(currentUser(user));
        return access.Trustee.ptstrName != nullptr &&
               SetEntriesInAclW(1, &access, nullptr, &acl) == ERROR_SUCCESS &&
               InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) != 0 &&
               SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE) != 0 &&
               SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED) != 0;
    }

    std::vector<unsigned char> user;
    PACL acl = nullptr;
    SECURITY_DESCRIPTOR descriptor{};
};

} // namespace

// The new file takes the access rights its folder hands down, as any new file
// there would, and the old file's hidden, system and archive attributes.
bool replaceFileContents(const std::string& path, std::string_view bytes) {
    const std::optional<Location> at = saveLocation(path);
    if (!at) {
        return false;
    }
    const std::wstring target = at->path();
    const DWORD existing = GetFileAttributesW(target.c_str());
    const bool exists = existing != INVALID_FILE_ATTRIBUTES;
    if (!exists && GetLastError() != ERROR_FILE_NOT_FOUND) {
        return false;
    }
    // The system refuses to replace a read-only file; a folder is not ours to replace.
    if (exists && ((existing & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0 ||
                   !mayWrite(target))) {
        return false;
    }
    const DWORD kept = exists ? existing & kKeptAttributes : 0;

    std::wstring temporary;
    FileHandle file = createTemporary(*at, kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL, temporary);
    if (!file.isOpen()) {
        return false;
    }
    bool ok = writeAll(file, bytes) && flush(file);
    ok = file.close() && ok;
    // Write-through: the call returns once the replacement itself is on disk.
    ok = ok && renameOver(fromUtf16(temporary), fromUtf16(target));
    if (!ok) {
        (void)removeFile(fromUtf16(temporary));
        return false;
    }
    return true;
}

void removeInterruptedSaves(const std::string& path) {
    const std::optional<Location> at = saveLocation(path);
    if (!at) {
        return;
    }
    const std::string prefix = temporaryPrefix(*at);
    const std::wstring pattern = at->folder + toUtf16(prefix) + L"*";
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        // The pattern also matches short names; only the exact long name counts.
        const bool plainFile = (found.dwFileAttributes &
                                (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
        if (plainFile && save_names::isTemporaryName(
                             fromUtf16(found.cFileName, std::wcslen(found.cFileName)), prefix)) {
            DeleteFileW((at->folder + found.cFileName).c_str());
        }
    } while (FindNextFileW(search, &found) != FALSE);
    FindClose(search);
}

bool createNewFile(const std::string& path, const std::string& content, bool ownerOnly,
                   std::string& error) {
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), nullptr, FALSE};
    OwnerOnlyAccess owner;
    if (ownerOnly) {
        if (!owner.make()) {
            error = systemError(path, GetLastError()) + " (cannot make an owner-only access list)";
            return false;
        }
        attributes.lpSecurityDescriptor = &owner.descriptor;
    }
    FileHandle file = adopt(CreateFileW(longPath(path).c_str(), GENERIC_WRITE, 0, &attributes,
                                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr),
                            {});
    if (!file.isOpen()) {
        const DWORD openError = GetLastError();
        error =
            openError == ERROR_FILE_EXISTS ? path + ": File exists" : systemError(path, openError);
        return false;
    }
    bool ok = writeAll(file, content) && flush(file);
    if (!ok) {
        error = systemError(path, GetLastError());
    }
    if (!file.close() && ok) {
        error = systemError(path, GetLastError());
        ok = false;
    }
    if (!ok) {
        (void)removeFile(path);
    }
    return ok;
}

std::FILE* openNewStdioFile(const std::string& path) {
    const int fd =
        ::_open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        return nullptr;
    }
    std::FILE* file = ::_fdopen(fd, "wb");
    if (file == nullptr) {
        ::_close(fd);
        std::remove(path.c_str());
    }
    return file;
}

} // namespace qlx
