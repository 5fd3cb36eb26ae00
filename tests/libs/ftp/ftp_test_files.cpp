#include "ftp_test_files.h"

#include <QDir>
#include <QFile>

namespace qlx::test {

QByteArray allByteValues() {
    QByteArray bytes;
    for (int round = 0; round < 4; ++round) {
        for (int value = 0; value < 256; ++value) {
            bytes.append(static_cast<char>(value));
        }
    }
    bytes.append("\r\n\n\r\r\n", 6);
    return bytes;
}

QByteArray pseudoRandomBytes(qsizetype size, quint32 seed) {
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 state = seed;
    for (qsizetype i = 0; i < size; ++i) {
        state = state * 1664525U + 1013904223U;
        bytes[i] = static_cast<char>(state >> 24);
    }
    return bytes;
}

bool writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList entriesOf(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

} // namespace qlx::test
