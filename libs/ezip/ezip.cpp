#include "libs/ezip/ezip.h"

#include "libs/ezip/central_directory.h"
#include "libs/ezip/extract.h"
#include "libs/ezip/in_use.h"
#include "libs/ezip/raw_decoder.h"
#include "libs/ezip/run.h"
#include "platform/files.h"
#include "platform/text_encoding.h"

#include <optional>
#include <string>
#include <string_view>

// The exports. Nothing may unwind into the caller, which is not C++.
// Vexa_Unzip's paths arrive in the system's 8-bit encoding, as its callers
// have always passed them; the run entries take UTF-8, so that a folder whose
// name the code page cannot hold is reached as well as any other.
namespace {

// A null or empty path, or one that does not decode, is no path.
std::optional<std::string> pathFromCaller(const char* text) {
    return text == nullptr ? std::nullopt : qlx::pathFromSystemEncoding(text);
}

std::optional<std::string> utf8Path(const char* text) {
    if (text == nullptr || *text == '\0') {
        return std::nullopt;
    }
    const std::string_view path(text);
    for (std::size_t pos = 0; pos < path.size();) {
        if (!qlx::nextCodePoint(path, pos)) {
            return std::nullopt;
        }
    }
    return std::string(path);
}

template <typename Body> short guarded(Body body) noexcept {
    try {
        return static_cast<short>(body());
    } catch (...) {
        return EZIP_E_INTERNAL;
    }
}

// Runs `body` on the journal's path; a null, empty or undecodable one is a
// bad argument.
template <typename Body> short withJournal(const char* szjournal, Body body) noexcept {
    return guarded([&] {
        const std::optional<std::string> journal = utf8Path(szjournal);
        return journal ? body(*journal) : EZIP_E_ARGUMENT;
    });
}

} // namespace

extern "C" {

short Vexa_Unzip(const char* szzipfilename, const char* szdirname) {
    return guarded([&] {
        const std::optional<std::string> archive = pathFromCaller(szzipfilename);
        const std::optional<std::string> folder = pathFromCaller(szdirname);
        return archive && folder ? ezip::extract(*archive, *folder) : EZIP_E_ARGUMENT;
    });
}

int Vexa_RefusedMethod(const char* szzipfilename) {
    try {
        const std::optional<std::string> path = pathFromCaller(szzipfilename);
        const qlx::FileHandle archive =
            path ? qlx::openForReading(*path, /*sequential=*/false) : qlx::FileHandle();
        ezip::CentralDirectory directory;
        if (!archive.isOpen() ||
            ezip::readCentralDirectory(archive, UINT32_MAX, directory) != EZIP_OK) {
            return -1;
        }
        for (const auto& entry : directory.entries) {
            if (!ezip::methodSupported(entry.method)) {
                return entry.method;
            }
        }
        return -1;
    } catch (...) {
        return -1;
    }
}

short Vexa_RunBegin(const char* szjournal) {
    return withJournal(szjournal,
                       [](const std::string& journal) { return ezip::beginRun(journal); });
}

short Vexa_RunStage(const char* szjournal, const char* szzipfilename, const char* szdirname) {
    return withJournal(szjournal, [&](const std::string& journal) {
        const std::optional<std::string> archive = utf8Path(szzipfilename);
        const std::optional<std::string> folder = utf8Path(szdirname);
        return archive && folder ? ezip::stageIntoRun(journal, *archive, *folder) : EZIP_E_ARGUMENT;
    });
}

short Vexa_RunCommit(const char* szjournal) {
    return withJournal(szjournal,
                       [](const std::string& journal) { return ezip::commitRun(journal); });
}

short Vexa_RunAbort(const char* szjournal) {
    return withJournal(szjournal,
                       [](const std::string& journal) { return ezip::abortRun(journal); });
}

short Vexa_RunRecover(const char* szjournal) {
    return withJournal(szjournal,
                       [](const std::string& journal) { return ezip::recoverRun(journal); });
}

short Vexa_RunBusyFile(char* szpath, short cbpath) {
    return guarded([&]() -> int {
        const std::string& path = ezip::busyFile();
        if (szpath == nullptr || cbpath <= 0 || path.size() >= static_cast<std::size_t>(cbpath)) {
            return EZIP_E_ARGUMENT;
        }
        path.copy(szpath, path.size());
        szpath[path.size()] = '\0';
        return static_cast<int>(path.size());
    });
}

} // extern "C"
