#include "app/process_command_line.h"
#include "process/nvo_process.h"
#include "update/ftp_server_address.h"
#include "window/w_vercheck.h"

#include <QProcess>

namespace qlx {

w_vercheck::Services w_vercheck::systemServices() {
    Services services;
    services.commandLine = &processCommandLineText;
    services.createProcessObject = [] { return std::make_unique<nvo_process>(); };
    services.startProgram = [](const QString& program, const QStringList& arguments) {
        return QProcess::startDetached(program, arguments);
    };
    services.now = [] { return QDateTime::currentDateTime(); };
    services.ftpServer = ftpServerAddress();
    return services;
}

} // namespace qlx
