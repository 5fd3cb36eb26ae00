#include "db/busy_refusal.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace qlx {

namespace {

// PostgreSQL's too_many_connections, which psqlODBC passes on only in its
// message, under the generic 08001.
constexpr std::string_view kTooManyConnections = "53300";

// The server's own words where the driver hides its SQLSTATE: PostgreSQL's
// messages for 53300, and Oracle's for no free session, process or
// dispatcher (ORA-00018, ORA-00020, and the listener's ORA-12516, ORA-12519,
// ORA-12520). A generic ODBC 08004 also covers refusals that waiting does not
// cure, so it is not taken as busy.
constexpr std::array<std::string_view, 8> kBusyMessages = {
    "too many clients already",
    "too many connections",
    "remaining connection slots are reserved",
    "ORA-00018",
    "ORA-00020",
    "ORA-12516",
    "ORA-12519",
    "ORA-12520",
};

} // namespace

bool isBusyRefusal(const std::vector<std::string>& states, const std::string& text) {
    if (std::find(states.begin(), states.end(), kTooManyConnections) != states.end() ||
        text.find(kTooManyConnections) != std::string::npos) {
        return true;
    }
    return std::any_of(kBusyMessages.begin(), kBusyMessages.end(), [&](std::string_view message) {
        return text.find(message) != std::string::npos;
    });
}

} // namespace qlx
