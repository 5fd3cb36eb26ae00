#pragma once

#include <optional>
#include <string>

namespace qlx::ftp {

// The URL of the server's login folder ("ftp://a.b.c.d:port/") for an address
// "a.b.c.d" or "a.b.c.d:port"; nothing for anything else, host names included,
// so that no name lookup ever takes part.
std::optional<std::string> serverUrl(const std::string& address);

} // namespace qlx::ftp
