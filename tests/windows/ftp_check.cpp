// Drives ftp.dll as the FTP update does: connect with the update account,
// enter the update folder, fetch one file byte for byte.
//   ftp_check.exe ADDRESS FOLDER REMOTE LOCAL
// Prints each entry's result and exits 0 when every one returned 0.
#include "libs/ftp/ftp.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: ftp_check.exe ADDRESS FOLDER REMOTE LOCAL\n");
        return 2;
    }
    FTPsetTimeouts(5, 5, 5);
    const short connected = FTPConnect(argv[1], "vortaupt", "mavik#(%~&!*");
    const short entered = connected == 0 ? FTPsetCurrentDir(argv[2]) : -1;
    const short fetched = entered == 0 ? FTPgetFile(argv[3], argv[4], 1) : -1;
    FTPDisconnect();
    std::printf("connect %d, folder %d, file %d\n", connected, entered, fetched);
    return connected == 0 && entered == 0 && fetched == 0 ? 0 : 1;
}
