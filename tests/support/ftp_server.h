#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <sys/types.h>

namespace qlx::test {

// One of the test FTP servers of tests/support/ftp_servers, running as a child
// process on 127.0.0.1 for as long as this object lives.
class FtpServer {
public:
    // The real server (pyftpdlib) with the update account, serving
    // `homeFolder`, which gets a "Quillon_Down" folder if it has none.
    static std::unique_ptr<FtpServer> startReal(const std::string& homeFolder);
    // The server that fails in `mode`: "silent", "stall", "mute", "close",
    // "wrong-size" or "reject".
    static std::unique_ptr<FtpServer> startMisbehaving(const std::string& mode);

    // Kills the server and waits for it.
    ~FtpServer();
    FtpServer(const FtpServer&) = delete;
    FtpServer& operator=(const FtpServer&) = delete;

    [[nodiscard]] std::uint16_t port() const { return port_; }
    // "127.0.0.1:port", as FTPConnect takes it.
    [[nodiscard]] std::string address() const;
    // What the server wrote to its error output so far, for failure messages.
    [[nodiscard]] std::string errorOutput() const;

    static constexpr const char* user = "vortaupt";
    static constexpr const char* password = "mavik#(%~&!*";

private:
    FtpServer() = default;
    static std::unique_ptr<FtpServer> start(const std::string& script, const std::string& argument);

    pid_t pid_ = -1;
    int output_ = -1;       // the read end of the server's standard output
    std::string errorFile_; // where its error output goes
    std::uint16_t port_ = 0;
};

} // namespace qlx::test
