#include "app/command_line.h"
#include "app/process_command_line.h"

#include <QFile>

namespace qlx {

// The arguments exactly as the process was started with them: Qt is handed
// none of them (see main), so QCoreApplication::arguments() does not know them.
// POSIX hands over a list; joining it after the program name keeps every
// /KEY=value; field intact, since values are found by their keys.
QString processCommandLineText() {
    QFile file(QStringLiteral("/proc/self/cmdline"));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    // Each argument, the program name first, ends with a NUL.
    QList<QByteArray> terminated = file.readAll().split('\0');
    terminated.removeLast();
    QStringList arguments;
    for (qsizetype i = 1; i < terminated.size(); ++i) {
        arguments.append(QString::fromLocal8Bit(terminated.at(i)));
    }
    return joinArguments(arguments);
}

} // namespace qlx
