#pragma once

#include "libs/ezip/archive_plan.h"
#include "platform/file_handle.h"

#include <cstddef>
#include <string>

namespace ezip {

// Unpacks the archive at `archivePath` into the existing folder
// `destinationPath` as a run of one package (see run.h), journaled inside the
// destination, so that a killed call is finished or undone by the next call
// into the same folder. Nothing is flushed to disk. Returns EZIP_OK or an EzipCode; the destination
// is left as it was on every failure but EZIP_E_ROLLBACK.
int extract(const std::string& archivePath, const std::string& destinationPath);

// Reads the archive's directory and checks every entry and the open folder
// `destination`: what would be written, before anything is.
int planArchive(const std::string& archivePath, const qlx::FileHandle& destination, Plan& plan,
                std::size_t& entryCount);

} // namespace ezip
