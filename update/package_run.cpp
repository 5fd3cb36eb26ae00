#include "update/package_run.h"

#include "update/outside_library.h"
#include "update/package_paths.h"
#include "update/vexa_unzip.h"

#include <QFileInfo>

namespace qlx {

namespace {

using JournalEntry = short (*)(const char*);
using StageEntry = short (*)(const char*, const char*, const char*);

long call(const char* symbol, const QString& journal) {
    const auto entry = reinterpret_cast<JournalEntry>(ezipLibrary().entry(symbol));
    return static_cast<long>(entry(journal.toLocal8Bit().constData()));
}

} // namespace

QString runJournalPath(const QString& folder) {
    return joinPath(joinPath(folder, QStringLiteral("upt")), QStringLiteral(".qlx_upt.run"));
}

PackageRun::PackageRun(QString journal) : journal_(std::move(journal)) {}

PackageRun::~PackageRun() {
    if (open_) {
        try {
            abort();
        } catch (...) {
            // The library was loaded when the run began; a run left open is
            // settled by the next start all the same.
        }
    }
}

long PackageRun::recover(const QString& journal) {
    const QFileInfo info(journal);
    if (!info.exists() && !QFileInfo::exists(journal + QLatin1String(".new"))) {
        return 0;
    }
    return call("Vexa_RunRecover", journal);
}

long PackageRun::stage(const QString& archive, const QString& folder) {
    if (!open_) {
        const long code = call("Vexa_RunBegin", journal_);
        if (code != 0) {
            return code;
        }
        open_ = true;
    }
    const auto entry = reinterpret_cast<StageEntry>(ezipLibrary().entry("Vexa_RunStage"));
    return static_cast<long>(entry(journal_.toLocal8Bit().constData(),
                                   archive.toLocal8Bit().constData(),
                                   folder.toLocal8Bit().constData()));
}

long PackageRun::commit() {
    if (!open_) {
        return 0;
    }
    open_ = false;
    return call("Vexa_RunCommit", journal_);
}

void PackageRun::abort() {
    if (open_) {
        open_ = false;
        call("Vexa_RunAbort", journal_);
    }
}

} // namespace qlx
