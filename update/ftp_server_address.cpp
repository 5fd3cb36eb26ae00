#include "update/ftp_server_address.h"

#ifndef QLX_FTP_SERVER_ADDRESS
#error "QLX_FTP_SERVER_ADDRESS comes from the CMake cache variable QLX_FTP_SERVER"
#endif

namespace qlx {

std::string ftpServerAddress() {
    return QLX_FTP_SERVER_ADDRESS;
}

} // namespace qlx
