#pragma once

#include "base/bytes.h"
#include "package/package_key.h"
#include "update/update_database.h"

#include <optional>
#include <string>

namespace qlx {

class ExclusiveFile;
class UpdateView;

// The single-package update: the package stored under the update ID "/ID=",
// unpacked into the installation folder.
class SinglePackageUpdate {
public:
    // With `packageKeys`, a package that none of them signed for its update ID
    // is refused.
    SinglePackageUpdate(UpdateView& view, UpdateDatabase database, PackageKeys packageKeys);

    // Installs the package of update ID `ls_id` (empty is an ID a row may
    // hold) as the file `ls_filename` in
    // the current folder: "O", "X", or "" when the database holds no package.
    std::string run(const std::string& ls_id, const std::string& ls_filename);

private:
    std::optional<Bytes> readPackage(const std::string& ls_id);
    void writePackage(const std::string& packageFile, std::optional<Bytes>& package,
                      ExclusiveFile& held);
    // The package's update ID, which its signature vouches for, and the name
    // of its file under tmp.
    struct PackageName {
        std::string id;
        std::string file;
    };
    std::string unpackPackage(const std::string& packageFile, const PackageName& package,
                              const std::string& ls_path, bool plain, ExclusiveFile& held);

    UpdateView& view_;
    UpdateDatabase database_;
    PackageKeys packageKeys_;
};

} // namespace qlx
