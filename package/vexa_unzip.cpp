#include "package/vexa_unzip.h"

#include "platform/outside_library.h"
#include "platform/text_encoding.h"

namespace qlx {

namespace {

using VexaUnzipEntry = short (*)(const char*, const char*);

} // namespace

OutsideLibrary& ezipLibrary() {
    // Loaded on the first call and kept for the life of the program.
    static OutsideLibrary library("EZip");
    return library;
}

long vexa_unzip(const std::string& szzipfilename, const std::string& szdirname) {
    const auto entry = reinterpret_cast<VexaUnzipEntry>(ezipLibrary().entry("Vexa_Unzip"));
    const std::string archive = toSystemEncoding(szzipfilename);
    const std::string folder = toSystemEncoding(szdirname);
    return static_cast<long>(entry(archive.c_str(), folder.c_str()));
}

int refusedMethod(const std::string& szzipfilename) {
    using Entry = int (*)(const char*);
    const auto entry = reinterpret_cast<Entry>(ezipLibrary().entry("Vexa_RefusedMethod"));
    const std::string archive = toSystemEncoding(szzipfilename);
    return entry(archive.c_str());
}

} // namespace qlx
