#pragma once

#include "libs/ezip/archive_plan.h"
#include "libs/ezip/block_writer.h"

#include <cstddef>
#include <cstdint>
#include <zip.h>

namespace ezip {

// Decodes the raw data `raw` of the entry `file` (a method that decodedHere()
// names) through `writer`, whose buffers hold `capacity` bytes: never past
// the declared size, and the decoded bytes must match `crc`, which libzip
// checks only for the methods it decodes itself. EZIP_OK or an EzipCode.
int copyDecoded(zip_file_t* raw, const PlannedFile& file, std::uint32_t crc, BlockWriter& writer,
                std::size_t capacity);

} // namespace ezip
