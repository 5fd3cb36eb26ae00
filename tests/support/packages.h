#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

namespace qlx::test {

// A zip package made by Debian's zip from `files` (relative name -> content).
QByteArray makePackage(const QMap<QString, QByteArray>& files);

// The content of a file, or "<missing>".
QByteArray readFile(const QString& path);

// The VALUE of the first row of `code` in the settings file `psr`, or
// "<absent>".
QString settingIn(const QString& psr, const QString& code);

// A SQLite update database at `path` with the per-build tables and the
// single-package table, empty.
void createSqliteUpdateDatabase(const QString& path);
// Adds a row to a per-build table; a null package stores a NULL BLOB.
void addBuildPackage(const QString& database, const QString& table, const QString& filename,
                     const QString& fpath, int buildno, const QByteArray& package,
                     bool null = false);
void addUpdatePackage(const QString& database, const QString& updateId, const QByteArray& package,
                      bool null = false);

// File names that would lead a package out of its folder "tmp" onto
// `victim` (an absolute path to a "victim.zip"), or into a subfolder "sub".
QStringList namesThatLeaveTheFolder(const QString& victim);

} // namespace qlx::test
