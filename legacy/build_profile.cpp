#include "legacy/build_profile.h"

namespace qlx {

const BuildProfile& currentProfile() {
    static const BuildProfile profile{
        .executable = "qlx_upt",
        .fileTable = "QLX_UPT3",
        .processControl = true,
        .secondPassword = true,
        .fixedDbms = {},
        .layout = &currentWindowLayout(),
    };
    return profile;
}

} // namespace qlx
