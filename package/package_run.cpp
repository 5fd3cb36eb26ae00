#include "package/package_run.h"

#include "package/package_paths.h"
#include "package/vexa_unzip.h"
#include "platform/files.h"
#include "platform/outside_library.h"

namespace qlx {

namespace {

using JournalEntry = short (*)(const char*);
using StageEntry = short (*)(const char*, const char*, const char*);
using BusyFileEntry = short (*)(char*, short);

long call(const char* symbol, const std::string& journal) {
    const auto entry = reinterpret_cast<JournalEntry>(ezipLibrary().entry(symbol));
    return static_cast<long>(entry(journal.c_str()));
}

} // namespace

std::string runJournalPath(const std::string& folder) {
    return joinPath(joinPath(folder, "upt"), ".qlx_upt.run");
}

PackageRun::PackageRun(std::string journal) : journal_(std::move(journal)) {}

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

long PackageRun::recover(const std::string& journal) {
    if (!pathExists(journal) && !pathExists(journal + ".new")) {
        return 0;
    }
    return call("Vexa_RunRecover", journal);
}

long PackageRun::stage(const std::string& archive, const std::string& folder) {
    if (!open_) {
        const long code = call("Vexa_RunBegin", journal_);
        if (code != 0) {
            return code;
        }
        open_ = true;
    }
    const auto entry = reinterpret_cast<StageEntry>(ezipLibrary().entry("Vexa_RunStage"));
    return static_cast<long>(entry(journal_.c_str(), archive.c_str(), folder.c_str()));
}

long PackageRun::commit() {
    if (!open_) {
        return 0;
    }
    open_ = false;
    return call("Vexa_RunCommit", journal_);
}

std::string PackageRun::busyFile() const {
    const auto entry = reinterpret_cast<BusyFileEntry>(ezipLibrary().entry("Vexa_RunBusyFile"));
    std::string path(1024, '\0');
    const short length = entry(path.data(), static_cast<short>(path.size()));
    path.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return path;
}

void PackageRun::abort() {
    if (open_) {
        open_ = false;
        call("Vexa_RunAbort", journal_);
    }
}

} // namespace qlx
