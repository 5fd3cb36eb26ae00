// The exports of the ftp library. Each takes the one lock, so calls from
// several threads never share the connection at once, and none lets an
// exception out: a C caller could not handle it.
#include "libs/ftp/ftp.h"

#include "libs/ftp/ftp_session.h"

#include <mutex>

namespace {

std::mutex& lock() {
    static std::mutex mutex;
    return mutex;
}

qlx::ftp::Session& session() {
    static qlx::ftp::Session instance;
    return instance;
}

template <typename Work> short guarded(Work work) noexcept {
    try {
        const std::lock_guard<std::mutex> guard(lock());
        return work(session());
    } catch (...) {
        return FTP_E_INTERNAL;
    }
}

} // namespace

extern "C" {

short FTPConnect(const char* ip_address, const char* user_id, const char* password) {
    return guarded([&](qlx::ftp::Session& s) { return s.connect(ip_address, user_id, password); });
}

short FTPDisconnect(void) {
    return guarded([](qlx::ftp::Session& s) {
        s.disconnect();
        return static_cast<short>(FTP_OK);
    });
}

short FTPsetCurrentDir(const char* curr_dir) {
    return guarded([&](qlx::ftp::Session& s) { return s.setCurrentDir(curr_dir); });
}

short FTPfileList(void* /*data*/) {
    return FTP_E_NOT_SUPPORTED;
}

short FTPgetFile(const char* remote_file, const char* local_file, short binary_or_text) {
    return guarded(
        [&](qlx::ftp::Session& s) { return s.getFile(remote_file, local_file, binary_or_text); });
}

short FTPsetTimeouts(short connect_seconds, short response_seconds, short stall_seconds) {
    return guarded([&](qlx::ftp::Session& s) {
        const qlx::ftp::Timeouts defaults;
        qlx::ftp::Timeouts timeouts;
        timeouts.connectSeconds = connect_seconds > 0 ? connect_seconds : defaults.connectSeconds;
        timeouts.responseSeconds =
            response_seconds > 0 ? response_seconds : defaults.responseSeconds;
        timeouts.stallSeconds = stall_seconds > 0 ? stall_seconds : defaults.stallSeconds;
        s.setTimeouts(timeouts);
        return static_cast<short>(FTP_OK);
    });
}

} // extern "C"
