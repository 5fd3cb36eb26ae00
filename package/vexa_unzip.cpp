#include "package/vexa_unzip.h"

#include "libs/ezip/ezip_codes.h"
#include "platform/outside_library.h"
#include "platform/text_encoding.h"

#include <optional>

namespace qlx {

namespace {

using VexaUnzipEntry = short (*)(const char*, const char*);

// `path` in the system's 8-bit encoding; nullopt when the encoding cannot
// hold one of its characters, as the library would then open another file.
std::optional<std::string> inSystemEncoding(const std::string& path) {
    std::string narrow = toSystemEncoding(path);
    if (fromSystemEncoding(narrow) != path) {
        return std::nullopt;
    }
    return narrow;
}

} // namespace

OutsideLibrary& ezipLibrary() {
    // Loaded on the first call and kept for the life of the program.
    static OutsideLibrary library("EZip");
    return library;
}

long vexa_unzip(const std::string& szzipfilename, const std::string& szdirname) {
    const auto entry = reinterpret_cast<VexaUnzipEntry>(ezipLibrary().entry("Vexa_Unzip"));
    const std::optional<std::string> archive = inSystemEncoding(szzipfilename);
    const std::optional<std::string> folder = inSystemEncoding(szdirname);
    if (!archive || !folder) {
        return EZIP_E_PATH_CODE_PAGE;
    }
    return static_cast<long>(entry(archive->c_str(), folder->c_str()));
}

int refusedMethod(const std::string& szzipfilename) {
    using Entry = int (*)(const char*);
    const auto entry = reinterpret_cast<Entry>(ezipLibrary().entry("Vexa_RefusedMethod"));
    const std::optional<std::string> archive = inSystemEncoding(szzipfilename);
    return archive ? entry(archive->c_str()) : -1;
}

} // namespace qlx
