#pragma once

#include "update/update_database.h"

#include <string>

namespace qlx {

class UpdateView;

// The single-package update: the package stored under the update ID "/ID=",
// unpacked into the installation folder.
class SinglePackageUpdate {
public:
    SinglePackageUpdate(UpdateView& view, UpdateDatabase database);

    // Installs the package of update ID `ls_id` (empty is an ID a row may
    // hold) as the file `ls_filename` in
    // the current folder: "O", "X", or "" when the database holds no package.
    std::string run(const std::string& ls_id, const std::string& ls_filename);

private:
    UpdateView& view_;
    UpdateDatabase database_;
};

} // namespace qlx
