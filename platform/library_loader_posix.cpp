#include "platform/library_loader.h"

#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <unistd.h>
#include <vector>

namespace qlx {

namespace {

std::string loaderError(const char* fallback) {
    const char* text = ::dlerror();
    return text != nullptr ? std::string(text) : std::string(fallback);
}

} // namespace

LibraryHandle loadLibrary(const std::string& path, std::string& reason) {
    if (path.find('/') == std::string::npos) {
        // Without a slash dlopen would search; only full paths are loaded.
        reason = "not a full path: " + path;
        return nullptr;
    }
    ::dlerror();
    // Every symbol is bound now, so that a library that lacks one fails here,
    // as a value, and never at the moment one of its entries is called.
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        reason = loaderError("the library could not be loaded");
    }
    return handle;
}

LibraryEntry libraryEntry(LibraryHandle library, const char* symbol, std::string& reason) {
    ::dlerror();
    void* address = ::dlsym(library, symbol);
    if (address == nullptr) {
        reason = loaderError("the entry is missing");
        return nullptr;
    }
    // POSIX guarantees that a function's address from dlsym converts back.
    LibraryEntry entry = nullptr;
    static_assert(sizeof(entry) == sizeof(address));
    std::memcpy(&entry, &address, sizeof(entry));
    return entry;
}

std::string libraryFileName(const std::string& baseName) {
    return "lib" + baseName + ".so";
}

std::string executableFolder() {
    // The kernel's own record of the executable: an absolute path with every
    // link resolved.
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) {
            return {};
        }
        if (static_cast<std::size_t>(length) < buffer.size()) {
            const std::string file(buffer.data(), static_cast<std::size_t>(length));
            const std::size_t slash = file.rfind('/');
            if (slash == std::string::npos) {
                return {};
            }
            return slash == 0 ? std::string("/") : file.substr(0, slash);
        }
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace qlx
