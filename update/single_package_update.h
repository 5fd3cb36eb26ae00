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
    // With `packageKey`, a package that this key did not sign is refused.
    SinglePackageUpdate(UpdateView& view, UpdateDatabase database,
                        std::optional<PackageKey> packageKey);

    // Installs the package of update ID `ls_id` (empty is an ID a row may
    // hold) as the file `ls_filename` in
    // the current folder: "O", "X", or "" when the database holds no package.
    std::string run(const std::string& ls_id, const std::string& ls_filename);

private:
    std::optional<Bytes> readPackage(const std::string& ls_id);
    void writePackage(const std::string& packageFile, std::optional<Bytes>& package,
                      ExclusiveFile& held);
    std::string unpackPackage(const std::string& packageFile, const std::string& ls_filename,
                              const std::string& ls_path, bool plain, ExclusiveFile& held);

    UpdateView& view_;
    UpdateDatabase database_;
    std::optional<PackageKey> packageKey_;
};

} // namespace qlx
