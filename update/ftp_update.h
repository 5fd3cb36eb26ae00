#pragma once

#include "package/package_key.h"

#include <optional>
#include <string>

namespace qlx {

class ExclusiveFile;
class UpdateView;

// The FTP update: the package "/FILE=" from the update FTP server, unpacked
// into the installation folder.
class FtpUpdate {
public:
    // `ftpServer` is the server's address, "a.b.c.d[:port]". With
    // `packageKeys`, a package that none of them signed for its name is refused.
    FtpUpdate(UpdateView& view, std::string ftpServer, PackageKeys packageKeys);

    // Fetches and unpacks the package file `ls_filename` in the
    // current folder: "O" or "X".
    std::string run(const std::string& ls_filename);

private:
    bool openPackageFolder();
    bool download(const std::string& ls_filename, const std::string& packageFile);
    bool unpackPackage(const std::string& packageFile, const std::string& ls_filename,
                       const std::string& ls_path, ExclusiveFile& held);

    UpdateView& view_;
    std::string ftpServer_;
    PackageKeys packageKeys_;
};

} // namespace qlx
