#pragma once

#include "base/bytes.h"

#include <cstdint>
#include <string>

namespace qlx {

// The entries of the outside FTP library, which holds one connection for the
// process. Each throws UnexpectedError when the library or the entry cannot be
// loaded; results are the library's 16-bit results, widened. Text goes to the
// library in the system's 8-bit encoding.
long ftpconnect(const std::string& ip_address, const std::string& user_id,
                const std::string& password);
long ftpdisconnect();
long ftpsetcurrentdir(const std::string& curr_dir);
// The library writes the listing into `data`, which must be large enough.
long ftpfilelist(Bytes& data);
long ftpgetfile(const std::string& remote_file, const std::string& local_file,
                std::int16_t binary_or_text);

} // namespace qlx
