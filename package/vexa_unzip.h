#pragma once

#include <string>

namespace qlx {

class OutsideLibrary;

// The outside library EZip, loaded on the first call into it.
OutsideLibrary& ezipLibrary();

// Unpacks the archive `szzipfilename` into the folder `szdirname` with the
// outside library EZip: 0 on success, any other value on failure. The
// library takes 8-bit paths in the system's encoding: a path holding a
// character that encoding cannot hold is EZIP_E_PATH_CODE_PAGE, and the
// library is not called. Throws UnexpectedError when the library or its entry
// cannot be loaded.
long vexa_unzip(const std::string& szzipfilename, const std::string& szdirname);

// The compression method of the archive's first entry that EZip refuses to
// decode, or -1; names the method when the library refuses the archive.
int refusedMethod(const std::string& szzipfilename);

} // namespace qlx
