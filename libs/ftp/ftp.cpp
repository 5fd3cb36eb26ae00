// Placeholder until the FTP library is built: every call fails.
extern "C" __attribute__((visibility("default"))) short FTPConnect(const char*, const char*, const char*) {
    return -1;
}
