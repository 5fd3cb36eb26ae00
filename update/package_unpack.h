#pragma once

#include <string>

namespace qlx {

class UpdateView;

// The box of the single-package and FTP updates for a package that was not
// unpacked; `busy` names the file that another program kept using, if one did.
void tellNotUnpacked(UpdateView& view, const std::string& busy = {});

// Unpacks the package `archive` of a single-package or FTP update into the
// installation folder `installation` itself, as a run of its own: staged
// whole, then moved into place, journaled where the build-list update
// journals, so that a start of either finishes or undoes it when it was
// killed. False once the failure is told; nothing of the package is then
// installed.
bool unpackIntoInstallation(UpdateView& view, const std::string& archive,
                            const std::string& installation);

} // namespace qlx
