#pragma once

// Results of the ftp library's exports. 0 is success; every failure is
// negative, so that a caller that only tests for "negative" or "non-zero"
// reads each of them as a failure.
enum FtpResult {
    FTP_OK = 0,
    FTP_E_ARGUMENT = -1,      // a null or empty argument, or a local path that names a folder
    FTP_E_ADDRESS = -2,       // ip_address is not "a.b.c.d" or "a.b.c.d:port"
    FTP_E_NOT_CONNECTED = -3, // no successful FTPConnect since the last FTPDisconnect
    FTP_E_CONNECT = -4,       // the server could not be reached
    FTP_E_LOGIN = -5,         // the server refused the user or the password
    FTP_E_TIMEOUT = -6,       // the server did not answer or the transfer stalled
    FTP_E_NO_FOLDER = -7,     // the server refused to change to the folder
    FTP_E_NO_FILE = -8,       // the server refused to send the file
    FTP_E_INCOMPLETE = -9,    // fewer or more bytes arrived than the server announced
    FTP_E_NETWORK = -10,      // the connection broke during the dialogue or the transfer
    FTP_E_LOCAL_FILE = -11,   // the local file could not be created, written or renamed
    FTP_E_PROTOCOL = -12,     // the server's replies made no sense
    FTP_E_INTERNAL = -13,     // the library itself failed (no memory, libcurl unusable)
    FTP_E_NOT_SUPPORTED = -14 // the entry is not implemented (FTPfileList)
};
