#pragma once

#include <string>

namespace qlx {

class OutsideLibrary;

// The outside library EZip, loaded on the first call into it.
OutsideLibrary& ezipLibrary();

// Unpacks the archive `szzipfilename` into the folder `szdirname` with the
// outside library EZip: 0 on success, any other value on failure. Throws
// UnexpectedError when the library or its entry cannot be loaded.
long vexa_unzip(const std::string& szzipfilename, const std::string& szdirname);

} // namespace qlx
