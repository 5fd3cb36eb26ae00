#include "tools/package_check.h"

#include "libs/ezip/ezip_codes.h"
#include "libs/ezip/ezip_methods.h"
#include "package/vexa_unzip.h"
#include "platform/utf8_path.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>

namespace qlx::publish {

namespace fs = std::filesystem;

namespace {

// A new, empty folder below the temporary folder; empty when none was made.
fs::path makeScratchFolder(std::string& error) {
    std::error_code code;
    const fs::path base = fs::temp_directory_path(code);
    if (code) {
        error = code.message();
        return {};
    }
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = base / ("qlx_publish_check." + std::to_string(random()));
        if (fs::create_directory(candidate, code)) {
            return candidate;
        }
    }
    error = code ? code.message() : std::string("no free name");
    return {};
}

} // namespace

PackageCheck checkPackage(const Bytes& archive) {
    PackageCheck check;
    std::string error;
    const fs::path scratch = makeScratchFolder(error);
    if (scratch.empty()) {
        check.reason = "cannot create a scratch folder: " + error;
        return check;
    }
    // The folder goes whatever happens, also when the library cannot be loaded.
    struct Remove {
        const fs::path& folder;
        ~Remove() {
            std::error_code ignored;
            fs::remove_all(folder, ignored);
        }
    } remove{scratch};
    const fs::path zip = scratch / "package.zip";
    const fs::path out = scratch / "out";
    std::error_code code;
    {
        std::ofstream file(zip, std::ios::binary);
        file.write(archive.data(), static_cast<std::streamsize>(archive.size()));
        if (!file.flush() || !fs::create_directory(out, code)) {
            check.reason = "cannot write to the scratch folder " + toUtf8(scratch);
            return check;
        }
    }
    check.code = vexa_unzip(toUtf8(zip), toUtf8(out));
    check.accepted = check.code == 0;
    const int method = check.code == EZIP_E_METHOD ? refusedMethod(toUtf8(zip)) : -1;
    if (method >= 0) {
        check.reason = "the extraction library does not support its compression method " +
                       ezip::methodInWords(method);
    } else if (check.code == EZIP_E_PATH_CODE_PAGE) {
        check.reason = "the scratch folder " + toUtf8(scratch) +
                       " holds characters the system's code page cannot hold";
    } else if (!check.accepted) {
        check.reason =
            "the extraction library refuses it (result " + std::to_string(check.code) + ")";
    }
    return check;
}

} // namespace qlx::publish
