#pragma once

#include "window/build_profile.h"
#include "window/window_layout.h"

namespace qlx {

// The current updater, qlx_upt.
inline constexpr BuildProfile kCurrentProfile{
    .executable = "qlx_upt",
    .fileTable = "QLX_UPT3",
    .processControl = true,
    .secondPassword = true,
    .fixedDbms = {},
    .layout = &kCurrentWindowLayout,
};

// The legacy updater, qlx_upt3: an older table reached through a fixed
// database interface, one password, no process control, its own window.
inline constexpr BuildProfile kLegacyProfile{
    .executable = "qlx_upt3",
    .fileTable = "QLX_UPT2",
    .processControl = false,
    .secondPassword = false,
    .fixedDbms = "O84 ORACLE 8.0.4",
    .layout = &kLegacyWindowLayout,
};

// A profile is one of the two as a whole: the legacy database interface, its
// table, its window and the missing process control belong together, and a
// profile that mixes them describes an updater that exists nowhere.
consteval bool isCoherent(const BuildProfile& p) {
    const bool current = p.fileTable == "QLX_UPT3" && p.processControl && p.secondPassword &&
                         p.fixedDbms.empty() && p.layout == &kCurrentWindowLayout;
    const bool legacy = p.fileTable == "QLX_UPT2" && !p.processControl && !p.secondPassword &&
                        p.fixedDbms == "O84 ORACLE 8.0.4" && p.layout == &kLegacyWindowLayout;
    return current || legacy;
}
static_assert(isCoherent(kCurrentProfile));
static_assert(isCoherent(kLegacyProfile));

inline const BuildProfile& currentProfile() {
    return kCurrentProfile;
}
inline const BuildProfile& legacyProfile() {
    return kLegacyProfile;
}

} // namespace qlx
