#include "update/vexa_unzip.h"

#include "update/outside_library.h"

namespace qlx {

long vexa_unzip(const QString& szzipfilename, const QString& szdirname) {
    using Entry = short (*)(const char*, const char*);
    static OutsideLibrary library(QStringLiteral("EZip"));
    const auto entry = reinterpret_cast<Entry>(library.entry("Vexa_Unzip"));
    const QByteArray zip = szzipfilename.toLocal8Bit();
    const QByteArray dir = szdirname.toLocal8Bit();
    return entry(zip.constData(), dir.constData());
}

} // namespace qlx
