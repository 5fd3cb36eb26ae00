#include "app/version_check.h"
#include "legacy/build_profile.h"
#include "package/package_key.h"
#include "platform/library_search.h"
#include "platform/process_command_line.h"
#include "window/run_window.h"

#include <optional>

namespace {

const qlx::BuildProfile& selectedProfile() {
#ifdef QLX_LEGACY_PROFILE
    return qlx::legacyProfile();
#else
    return qlx::currentProfile();
#endif
}

// The publisher's key this program was built with (the line of package.pub,
// QLX_PACKAGE_PUBLIC_KEY); without one, packages are installed unchecked.
std::optional<qlx::PackageKey> builtInPackageKey() {
#ifdef QLX_PACKAGE_PUBLIC_KEY
    constexpr std::optional<qlx::PackageKey> key = qlx::parsePackageKey(QLX_PACKAGE_PUBLIC_KEY);
    static_assert(key.has_value(), "QLX_PACKAGE_PUBLIC_KEY is not the line of a package.pub");
    return key;
#else
    return std::nullopt;
#endif
}

} // namespace

// The application object lives for the whole run: it holds the transaction
// the window connects, and releases it once the window has closed.
int main(int argc, char** argv) {
    qlx::restrictLibrarySearch();
    qlx::version_check app(builtInPackageKey());
    app.create();
    int status = 0;
    app.open(qlx::processCommandLineText(),
             [&] { status = qlx::runUpdaterWindow(argc, argv, selectedProfile(), app); });
    app.destroy();
    return status;
}
