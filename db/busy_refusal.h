#pragma once

#include <string>
#include <vector>

namespace qlx {

// Whether a refused connection says that the server has no room for one more
// session just now (too many connections), which passes when other clients
// finish, unlike a wrong password or an unknown host. `states` are the
// SQLSTATEs of the driver's diagnostics, `text` their messages.
[[nodiscard]] bool isBusyRefusal(const std::vector<std::string>& states, const std::string& text);

} // namespace qlx
