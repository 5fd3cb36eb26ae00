#include "support/ftp_server.h"

#include <QDir>

#ifndef QLX_FTP_SERVERS_DIR
#error "QLX_FTP_SERVERS_DIR must name tests/support/ftp_servers"
#endif

namespace qlx::test {

namespace {

// Debian's own interpreter, which has pyftpdlib; another python3 on PATH may not.
const char* const python = "/usr/bin/python3";
constexpr int startTimeoutMs = 15000;

} // namespace

std::unique_ptr<FtpServer> FtpServer::startReal(const QString& homeFolder) {
    return start(QStringLiteral("ftp_server.py"), homeFolder);
}

std::unique_ptr<FtpServer> FtpServer::startMisbehaving(const QString& mode) {
    return start(QStringLiteral("misbehaving_server.py"), mode);
}

std::unique_ptr<FtpServer> FtpServer::start(const QString& script, const QString& argument) {
    std::unique_ptr<FtpServer> server(new FtpServer);
    QProcess& process = server->process_;
    process.setProgram(QString::fromLatin1(python));
    process.setArguments(
        {QDir(QStringLiteral(QLX_FTP_SERVERS_DIR)).absoluteFilePath(script), argument});
    process.setReadChannel(QProcess::StandardOutput);
    process.start();
    if (!process.waitForStarted(startTimeoutMs)) {
        return nullptr;
    }
    while (!process.canReadLine()) {
        if (!process.waitForReadyRead(startTimeoutMs)) {
            return nullptr; // the destructor stops whatever is left
        }
    }
    bool ok = false;
    const uint port = QString::fromLatin1(process.readLine()).trimmed().toUInt(&ok);
    if (!ok || port == 0 || port > 65535) {
        return nullptr;
    }
    server->port_ = static_cast<quint16>(port);
    return server;
}

FtpServer::~FtpServer() {
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(startTimeoutMs);
    }
}

QString FtpServer::address() const {
    return QStringLiteral("127.0.0.1:%1").arg(port_);
}

QString FtpServer::errorOutput() {
    return QString::fromLocal8Bit(process_.readAllStandardError());
}

} // namespace qlx::test
