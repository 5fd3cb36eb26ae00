#include "platform/local_time.h"
#include "platform/process_command_line.h"
#include "process/nvo_process.h"
#include "process/process_start.h"
#include "update/ftp_server_address.h"
#include "window/w_vercheck.h"

namespace qlx {

w_vercheck::Services w_vercheck::systemServices() {
    Services services;
    services.commandLine = [] { return processCommandLineText(); };
    services.createProcessObject = [] { return std::make_unique<nvo_process>(); };
    services.startProgram = [](const std::string& program,
                               const std::vector<std::string>& arguments) {
        return qlx::startProgram(program, arguments);
    };
    services.now = [] { return localTimeNow(); };
    services.ftpServer = ftpServerAddress();
    services.lockInstallation = [](const std::string& folder) {
        return InstallationLock::take(folder);
    };
    return services;
}

} // namespace qlx
