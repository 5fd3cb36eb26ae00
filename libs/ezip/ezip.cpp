#include "libs/ezip/extract.h"
#include "libs/ezip/ezip_codes.h"

// The one export. Nothing may unwind into the caller, which is not C++.
extern "C" __attribute__((visibility("default"))) short Vexa_Unzip(const char* szzipfilename,
                                                                   const char* szdirname) {
    try {
        return static_cast<short>(ezip::extract(szzipfilename, szdirname));
    } catch (...) {
        return EZIP_E_INTERNAL;
    }
}
