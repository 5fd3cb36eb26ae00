#include "update/vexa_unzip.h"

#include "update/outside_library.h"

namespace qlx {

namespace {

using VexaUnzipEntry = short (*)(const char*, const char*);

} // namespace

OutsideLibrary& ezipLibrary() {
    // Loaded on the first call and kept for the life of the program.
    static OutsideLibrary library(QStringLiteral("EZip"));
    return library;
}

long vexa_unzip(const QString& szzipfilename, const QString& szdirname) {
    const auto entry = reinterpret_cast<VexaUnzipEntry>(ezipLibrary().entry("Vexa_Unzip"));
    const QByteArray archive = szzipfilename.toLocal8Bit();
    const QByteArray folder = szdirname.toLocal8Bit();
    return static_cast<long>(entry(archive.constData(), folder.constData()));
}

} // namespace qlx
