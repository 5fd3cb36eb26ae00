#include "app/version_check.h"
#include "legacy/build_profile.h"
#include "package/package_key.h"
#include "platform/heap.h"
#include "platform/library_search.h"
#include "platform/process_command_line.h"
#include "window/run_window.h"

#include <string_view>

namespace {

const qlx::BuildProfile& selectedProfile() {
#ifdef QLX_LEGACY_PROFILE
    return qlx::legacyProfile();
#else
    return qlx::currentProfile();
#endif
}

#ifdef QLX_PACKAGE_PUBLIC_KEY
// The lines of package.pub this program was built with, one string each.
constexpr std::string_view kKeyLines[] = {QLX_PACKAGE_PUBLIC_KEY};
constexpr bool allKeysParse() {
    for (const std::string_view line : kKeyLines) {
        if (!qlx::parsePackageKey(line)) {
            return false;
        }
    }
    return true;
}
static_assert(allKeysParse(), "QLX_PACKAGE_PUBLIC_KEY holds a line that is not of a package.pub");
#endif

// The publisher's keys this program was built with (QLX_PACKAGE_PUBLIC_KEY);
// without any, packages are installed unchecked.
qlx::PackageKeys builtInPackageKeys() {
    qlx::PackageKeys keys;
#ifdef QLX_PACKAGE_PUBLIC_KEY
    for (const std::string_view line : kKeyLines) {
        keys.push_back(*qlx::parsePackageKey(line));
    }
#endif
    return keys;
}

} // namespace

// The application object lives for the whole run: it holds the transaction
// the window connects, and releases it once the window has closed.
int main(int argc, char** argv) {
    qlx::restrictLibrarySearch();
    qlx::returnLargeBlocksToSystem();
    qlx::version_check app(builtInPackageKeys());
    app.create();
    int status = 0;
    app.open(qlx::processCommandLineText(),
             [&] { status = qlx::runUpdaterWindow(argc, argv, selectedProfile(), app); });
    app.destroy();
    return status;
}
