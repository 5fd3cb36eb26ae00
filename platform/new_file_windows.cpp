#include "platform/new_file.h"
#include "platform/text_encoding.h"

// The security declarations need windows.h before them.
// clang-format off
#include <windows.h>
#include <aclapi.h>
// clang-format on

#include <vector>

namespace qlx {

namespace {

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

} // namespace

bool createNewFile(const std::string& path, const std::string& content, bool ownerOnly,
                   std::string& error) {
    // Owner only: an access list with the one user, which the folder's
    // entries are not inherited into.
    std::vector<unsigned char> user;
    PACL acl = nullptr;
    SECURITY_DESCRIPTOR descriptor{};
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), nullptr, FALSE};
    if (ownerOnly) {
        EXPLICIT_ACCESS_W access{};
        access.grfAccessPermissions = GENERIC_ALL;
        access.grfAccessMode = SET_ACCESS;
        access.grfInheritance = NO_INHERITANCE;
        access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
        access.Trustee.TrusteeType = TRUSTEE_IS_USER;
        access.Trustee.ptstrName = static_cast<LPWSTR>(currentUser(user));
        if (access.Trustee.ptstrName == nullptr ||
            SetEntriesInAclW(1, &access, nullptr, &acl) != ERROR_SUCCESS ||
            InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) == 0 ||
            SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE) == 0 ||
            SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED) == 0) {
            error = systemError(path, GetLastError()) + " (cannot make an owner-only access list)";
            if (acl != nullptr) {
                LocalFree(acl);
            }
            return false;
        }
        attributes.lpSecurityDescriptor = &descriptor;
    }
    const std::wstring wide = toUtf16(path);
    const HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, &attributes, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD openError = GetLastError();
    if (acl != nullptr) {
        LocalFree(acl);
    }
    if (file == INVALID_HANDLE_VALUE) {
        error =
            openError == ERROR_FILE_EXISTS ? path + ": File exists" : systemError(path, openError);
        return false;
    }
    DWORD written = 0;
    bool ok = content.size() <= MAXDWORD &&
              WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written,
                        nullptr) != 0 &&
              written == content.size() && FlushFileBuffers(file) != 0;
    if (!ok) {
        error = systemError(path, GetLastError());
    }
    if (CloseHandle(file) == 0 && ok) {
        error = systemError(path, GetLastError());
        ok = false;
    }
    if (!ok) {
        DeleteFileW(wide.c_str());
    }
    return ok;
}

} // namespace qlx
