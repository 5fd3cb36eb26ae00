#include "libs/ezip/ezip.h"

#include "libs/ezip/extract.h"
#include "libs/ezip/run.h"

#include <string>

// The exports. Nothing may unwind into the caller, which is not C++.
namespace {

template <typename Body> short guarded(Body body) noexcept {
    try {
        return static_cast<short>(body());
    } catch (...) {
        return EZIP_E_INTERNAL;
    }
}

bool empty(const char* text) {
    return text == nullptr || *text == '\0';
}

} // namespace

extern "C" {

short Vexa_Unzip(const char* szzipfilename, const char* szdirname) {
    return guarded([&] { return ezip::extract(szzipfilename, szdirname); });
}

short Vexa_RunBegin(const char* szjournal) {
    return guarded([&] { return empty(szjournal) ? EZIP_E_ARGUMENT : ezip::beginRun(szjournal); });
}

short Vexa_RunStage(const char* szjournal, const char* szzipfilename, const char* szdirname) {
    return guarded([&] {
        return empty(szjournal) ? EZIP_E_ARGUMENT
                                : ezip::stageIntoRun(szjournal, szzipfilename, szdirname);
    });
}

short Vexa_RunCommit(const char* szjournal) {
    return guarded([&] { return empty(szjournal) ? EZIP_E_ARGUMENT : ezip::commitRun(szjournal); });
}

short Vexa_RunAbort(const char* szjournal) {
    return guarded([&] { return empty(szjournal) ? EZIP_E_ARGUMENT : ezip::abortRun(szjournal); });
}

short Vexa_RunRecover(const char* szjournal) {
    return guarded(
        [&] { return empty(szjournal) ? EZIP_E_ARGUMENT : ezip::recoverRun(szjournal); });
}

} // extern "C"
