#include "app/command_line.h"
#include "app/process_command_line.h"

#include <QCoreApplication>

namespace qlx {

// POSIX hands over a list; joining it after the program name keeps every
// /KEY=value; field intact, since values are found by their keys.
QString processCommandLineText() {
    return joinArguments(QCoreApplication::arguments().mid(1));
}

} // namespace qlx
