#pragma once

#include <QProcess>
#include <QString>

#include <memory>

namespace qlx::test {

// One of the test FTP servers of tests/support/ftp_servers, running as a child
// process on 127.0.0.1 for as long as this object lives.
class FtpServer {
public:
    // The real server (pyftpdlib) with the update account, serving
    // `homeFolder`, which gets a "Quillon_Down" folder if it has none.
    static std::unique_ptr<FtpServer> startReal(const QString& homeFolder);
    // The server that fails in `mode`: "silent", "stall", "mute", "close",
    // "wrong-size" or "reject".
    static std::unique_ptr<FtpServer> startMisbehaving(const QString& mode);

    ~FtpServer();
    FtpServer(const FtpServer&) = delete;
    FtpServer& operator=(const FtpServer&) = delete;

    [[nodiscard]] quint16 port() const { return port_; }
    // "127.0.0.1:port", as FTPConnect takes it.
    [[nodiscard]] QString address() const;
    // What the server wrote to its error output so far, for failure messages.
    [[nodiscard]] QString errorOutput();

    static constexpr const char* user = "vortaupt";
    static constexpr const char* password = "mavik#(%~&!*";

private:
    FtpServer() = default;
    static std::unique_ptr<FtpServer> start(const QString& script, const QString& argument);

    QProcess process_;
    quint16 port_ = 0;
};

} // namespace qlx::test
