#include "update/ftp_client.h"

#include "update/outside_library.h"

namespace qlx {

namespace {

// Loaded on the first call into it and kept for the rest of the run, like the
// connection it holds.
OutsideLibrary& ftpLibrary() {
    static OutsideLibrary library(QStringLiteral("ftp"));
    return library;
}

template <typename Function> Function entry(const char* symbol) {
    return reinterpret_cast<Function>(ftpLibrary().entry(symbol));
}

} // namespace

long ftpconnect(const QString& ip_address, const QString& user_id, const QString& password) {
    using Connect = short (*)(const char*, const char*, const char*);
    const auto function = entry<Connect>("FTPConnect");
    const QByteArray address = ip_address.toLocal8Bit();
    const QByteArray user = user_id.toLocal8Bit();
    const QByteArray secret = password.toLocal8Bit();
    return function(address.constData(), user.constData(), secret.constData());
}

long ftpdisconnect() {
    using Disconnect = short (*)();
    return entry<Disconnect>("FTPDisconnect")();
}

long ftpsetcurrentdir(const QString& curr_dir) {
    using SetCurrentDir = short (*)(const char*);
    const auto function = entry<SetCurrentDir>("FTPsetCurrentDir");
    const QByteArray folder = curr_dir.toLocal8Bit();
    return function(folder.constData());
}

long ftpfilelist(QByteArray& data) {
    using FileList = short (*)(void*);
    return entry<FileList>("FTPfileList")(data.data());
}

long ftpgetfile(const QString& remote_file, const QString& local_file, qint16 binary_or_text) {
    using GetFile = short (*)(const char*, const char*, short);
    const auto function = entry<GetFile>("FTPgetFile");
    const QByteArray remote = remote_file.toLocal8Bit();
    const QByteArray local = local_file.toLocal8Bit();
    return function(remote.constData(), local.constData(), binary_or_text);
}

} // namespace qlx
