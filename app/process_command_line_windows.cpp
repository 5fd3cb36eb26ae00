#include "app/command_line.h"
#include "app/process_command_line.h"

#include <windows.h>

namespace qlx {

QString processCommandLineText() {
    return commandLineText(QString::fromWCharArray(GetCommandLineW()));
}

} // namespace qlx
