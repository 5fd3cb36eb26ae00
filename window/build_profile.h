#pragma once

#include <string_view>

namespace qlx {

struct WindowLayout;

// What tells the two executables apart. Both are built from the same sources;
// each picks its profile (legacy/) at build time, and main() hands it to the
// window.
struct BuildProfile {
    std::string_view executable; // "qlx_upt"
    std::string_view fileTable;  // the per-build package table
    bool processControl;         // counts and terminates the client programs
    bool secondPassword;         // retries the connect with is_uptpw_new
    std::string_view fixedDbms;  // empty: the DBMS comes from the settings
    const WindowLayout* layout;
};

} // namespace qlx
