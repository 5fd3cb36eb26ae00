#pragma once

#include <string>

namespace qlx {

class UpdateView;

// The FTP update: the package "/FILE=" from the update FTP server, unpacked
// into the installation folder.
class FtpUpdate {
public:
    // `ftpServer` is the server's address, "a.b.c.d[:port]".
    FtpUpdate(UpdateView& view, std::string ftpServer);

    // Fetches and unpacks the package file `ls_filename` in the
    // current folder: "O" or "X".
    std::string run(const std::string& ls_filename);

private:
    UpdateView& view_;
    std::string ftpServer_;
};

} // namespace qlx
