#include "app/command_line.h"

namespace qlx {

QString commandLineText(const QString& commandLine) {
    if (commandLine.startsWith(u'"')) {
        const qsizetype closing = commandLine.indexOf(u'"', 1);
        if (closing < 0) {
            return commandLine.sliced(1);
        }
        // The closing quote and one separator are skipped; with nothing after
        // them there is no argument text.
        if (commandLine.size() - closing < 3) {
            return {};
        }
        return commandLine.sliced(closing + 2);
    }
    const qsizetype blank = commandLine.indexOf(u' ');
    if (blank < 0) {
        return {};
    }
    return commandLine.sliced(blank + 1);
}

QString joinArguments(const QStringList& argumentsAfterProgram) {
    return argumentsAfterProgram.join(u' ');
}

} // namespace qlx
