#pragma once

#include <QString>
#include <QStringList>

namespace qlx {

// The process's current folder as the platform writes it, without a trailing
// separator: the client's installation folder.
[[nodiscard]] QString currentFolder();

// `folder` + the platform's separator + `name`, by plain concatenation.
[[nodiscard]] QString joinPath(const QString& folder, const QString& name);

// The folders that entering `action` (absolute, or relative to `base`) would
// have to create, the deepest first.
[[nodiscard]] QStringList missingFolders(const QString& base, const QString& action);

// True for a name that stays inside the folder it is joined to: not empty, no
// separator of either platform, not "." or "..". Package names come from the
// command line and the database; a name that could leave the package folder
// is never written, deleted or downloaded.
[[nodiscard]] bool isPlainFileName(const QString& name);

} // namespace qlx
