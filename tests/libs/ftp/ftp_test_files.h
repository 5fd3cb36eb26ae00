#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace qlx::test {

// Every byte value, including CR, LF and NUL, in pairs that a text-mode
// transfer would alter.
QByteArray allByteValues();
// `size` bytes that do not repeat with any short period.
QByteArray pseudoRandomBytes(qsizetype size, quint32 seed);

bool writeFile(const QString& path, const QByteArray& content);
QByteArray readFile(const QString& path);
// The names in `folder`, hidden ones included.
QStringList entriesOf(const QString& folder);

} // namespace qlx::test
