#pragma once

#include "libs/ezip/archive_plan.h"
#include "platform/file_handle.h"

#include <string>

namespace ezip {

// Inflates every planned file into the open staging folder `staging`,
// under the name stagedName(file), on up to two threads that each read the
// archive through their own handle. Each entry is read until the library
// reports its end, which is where it checks the CRC, and never past its
// declared size. Returns EZIP_OK or the first failure's EzipCode.
// With `durable`, each staged file is on its way to the disk (qlx::flushStaged)
// as soon as it is written.
int inflateAll(const std::string& archivePath, std::size_t entryCount, const Plan& plan,
               const qlx::FileHandle& staging, bool durable);

std::string stagedName(const PlannedFile& file);

} // namespace ezip
