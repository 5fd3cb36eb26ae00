#pragma once

// The ftp library: one FTP connection for the whole process, opened by
// FTPConnect and used by the other entries. Strings are zero-terminated 8-bit
// text in the system's code page; results are the codes of ftp_codes.h.

#include "libs/ftp/ftp_codes.h"

#if defined(_WIN32)
#define FTP_EXPORT __declspec(dllexport)
#else
#define FTP_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Connects to `ip_address` ("a.b.c.d" or "a.b.c.d:port", port 21 when absent)
// and logs in; a connection opened before is closed first. The login happens
// here, so a wrong password fails here.
FTP_EXPORT short FTPConnect(const char* ip_address, const char* user_id, const char* password);

// Closes the connection. Harmless when nothing is connected; always 0.
FTP_EXPORT short FTPDisconnect(void);

// Changes the server's current folder to `curr_dir`, taken relative to the
// current folder as the server's CWD does ("/" separates nested folders; a
// leading "/" starts at the server's root). The folder is entered here, so a
// missing folder fails here and leaves the current folder as it was.
FTP_EXPORT short FTPsetCurrentDir(const char* curr_dir);

// Not implemented: nothing in the updater lists a folder. `data` is neither
// read nor written. Always FTP_E_NOT_SUPPORTED.
FTP_EXPORT short FTPfileList(void* data);

// Downloads `remote_file` from the server's current folder to `local_file`.
// `binary_or_text` 1 transfers byte for byte (TYPE I); any other value
// transfers as text (TYPE A). The data goes to a temporary file beside
// `local_file`, which is renamed to `local_file` only when the transfer is
// complete (and, in binary mode, its size matches the size the server
// announced); on failure the temporary file is removed and `local_file` is
// left as it was.
FTP_EXPORT short FTPgetFile(const char* remote_file, const char* local_file, short binary_or_text);

// Time-outs in seconds for the following calls: reaching the server, waiting
// for any one reply, and a transfer that moves less than one byte a second.
// A value of 0 or less restores its default (10 s each). Always 0. Tests
// shorten them; the updater keeps the defaults.
FTP_EXPORT short FTPsetTimeouts(short connect_seconds, short response_seconds, short stall_seconds);

#ifdef __cplusplus
}
#endif
