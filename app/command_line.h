#pragma once

#include <QString>
#include <QStringList>

namespace qlx {

// The argument text of a full Windows-style command line: everything after the
// program's own name, which may be quoted.
[[nodiscard]] QString commandLineText(const QString& commandLine);

// The argument text of an entry point that receives a list: the arguments
// after the program name, joined with single blanks.
[[nodiscard]] QString joinArguments(const QStringList& argumentsAfterProgram);

} // namespace qlx
