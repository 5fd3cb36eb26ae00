#include "legacy/build_profile.h"
#include "window/qt/run_window.h"

namespace {

const qlx::BuildProfile& selectedProfile() {
#ifdef QLX_LEGACY_PROFILE
    return qlx::legacyProfile();
#else
    return qlx::currentProfile();
#endif
}

} // namespace

int main(int argc, char** argv) {
    return qlx::runUpdaterWindow(argc, argv, selectedProfile());
}
