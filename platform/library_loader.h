#pragma once

#include <string>

namespace qlx {

// The platform's loader of outside libraries.

// A loaded library; null for none.
using LibraryHandle = void*;
// An entry of a library, which its caller casts to the entry's own type.
using LibraryEntry = void (*)();

// Loads the library file `path`, a full path, so that the platform's search
// (and with it the current folder) takes no part in finding it; the libraries
// it needs are looked for beside it and in the system's folders. Null when it
// cannot be loaded, and `reason` then holds the loader's text. A library stays
// loaded for the rest of the process: the entries handed out must stay valid.
[[nodiscard]] LibraryHandle loadLibrary(const std::string& path, std::string& reason);

// The entry `symbol` of `library`; null when there is none, and `reason` then
// holds the loader's text.
[[nodiscard]] LibraryEntry libraryEntry(LibraryHandle library, const char* symbol,
                                        std::string& reason);

// The file name of the library `baseName` ("EZip"): "libEZip.so", "EZip.dll".
[[nodiscard]] std::string libraryFileName(const std::string& baseName);

// The folder of the running executable, without a trailing separator; empty
// when the platform cannot tell.
[[nodiscard]] std::string executableFolder();

} // namespace qlx
