#include "package/package_run.h"

#include "package/package_paths.h"
#include "package/vexa_unzip.h"
#include "platform/files.h"
#include "platform/outside_library.h"
#include "platform/text_encoding.h"

namespace qlx {

namespace {

using JournalEntry = short (*)(const char*);
using StageEntry = short (*)(const char*, const char*, const char*);

long call(const char* symbol, const std::string& journal) {
    const auto entry = reinterpret_cast<JournalEntry>(ezipLibrary().entry(symbol));
    return static_cast<long>(entry(toSystemEncoding(journal).c_str()));
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
    return static_cast<long>(entry(toSystemEncoding(journal_).c_str(),
                                   toSystemEncoding(archive).c_str(),
                                   toSystemEncoding(folder).c_str()));
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
