#pragma once

#include <QByteArray>
#include <QString>

namespace qlx {

// The entries of the outside FTP library, which holds one connection for the
// process. Each throws UnexpectedError when the library or the entry cannot be
// loaded; results are the library's 16-bit results, widened.
long ftpconnect(const QString& ip_address, const QString& user_id, const QString& password);
long ftpdisconnect();
long ftpsetcurrentdir(const QString& curr_dir);
long ftpfilelist(QByteArray& data);
long ftpgetfile(const QString& remote_file, const QString& local_file, qint16 binary_or_text);

} // namespace qlx
