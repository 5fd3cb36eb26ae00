#pragma once

#include "libs/ezip/archive_plan.h"

#include <string>

namespace ezip {

// Inflates every planned file into the staging folder open as `stagingFd`,
// under the name stagedName(file), on up to two threads that each read the
// archive through their own handle. Each entry is read until the library
// reports its end, which is where it checks the CRC, and never past its
// declared size. Returns EZIP_OK or the first failure's EzipCode.
// With `writeBack`, each staged file starts on its way to the disk as soon
// as it is written.
int inflateAll(const std::string& archivePath, std::size_t entryCount, const Plan& plan,
               int stagingFd, bool writeBack);

std::string stagedName(const PlannedFile& file);

} // namespace ezip
