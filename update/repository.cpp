#include "update/repository.h"

#include "update/blob_fetch.h"
#include "update/transaction.h"

#include <QSqlError>
#include <QSqlQuery>

namespace qlx {

namespace {

QString errorText(const QSqlError& error) {
    const QString database = error.databaseText().trimmed();
    return database.isEmpty() ? error.text().trimmed() : database;
}

} // namespace

w_filelist::w_filelist(QString fileTable) : fileTable_(std::move(fileTable)) {}

void w_filelist::setTransObject(Transaction& transaction) {
    transaction_ = &transaction;
}

QString w_filelist::query() const {
    // Ordered by build, so that a package of a later build is unpacked after
    // (and over) the same file of an earlier one.
    return QLatin1String("SELECT FILENAME, FPATH, BUILDNO FROM ") + fileTable_ +
           QLatin1String("\r\nWHERE BUILDNO >= ?\r\nORDER BY BUILDNO");
}

long w_filelist::retrieve(long a_no) {
    rows_.clear();
    if (transaction_ == nullptr) {
        return -1;
    }
    if (!transaction_->isConnected()) {
        transaction_->setResult(-1, QStringLiteral("The transaction is not connected"));
        return -1;
    }
    if (!isPlainIdentifier(fileTable_)) {
        transaction_->setResult(-1, QLatin1String("Not a table name: ") + fileTable_);
        return -1;
    }
    QSqlQuery select(transaction_->database());
    select.setForwardOnly(true);
    if (!select.prepare(query())) {
        transaction_->setResult(-1, errorText(select.lastError()));
        return -1;
    }
    select.addBindValue(static_cast<qlonglong>(a_no));
    if (!select.exec()) {
        transaction_->setResult(-1, errorText(select.lastError()));
        return -1;
    }
    std::vector<FileListRow> rows;
    while (select.next()) {
        rows.push_back(FileListRow{select.value(0).toString(), select.value(1).toString(),
                                   select.value(2).toLongLong()});
    }
    if (select.lastError().isValid()) {
        transaction_->setResult(-1, errorText(select.lastError()));
        return -1;
    }
    rows_ = std::move(rows);
    transaction_->setResult(rows_.empty() ? 100 : 0);
    return static_cast<long>(rows_.size());
}

void selectPackageByFileName(Transaction& transaction, const QString& fileTable,
                             const QString& filename, std::optional<QByteArray>& buffer) {
    selectSingleBlob(transaction, fileTable, QStringLiteral("eFILE"),
                     {{QStringLiteral("FILENAME"), filename}}, buffer);
}

void selectPackageOfRow(Transaction& transaction, const QString& fileTable, const FileListRow& row,
                        std::optional<QByteArray>& buffer) {
    selectSingleBlob(
        transaction, fileTable, QStringLiteral("eFILE"),
        {{QStringLiteral("FILENAME"), row.filename}, {QStringLiteral("BUILDNO"), row.buildno}},
        buffer);
}

void selectPackageByUpdateId(Transaction& transaction, const QString& updateId,
                             std::optional<QByteArray>& buffer) {
    selectSingleBlob(transaction, QStringLiteral("QLX_UPT"), QStringLiteral("UPFILE"),
                     {{QStringLiteral("UPDATE_ID"), updateId}}, buffer);
}

} // namespace qlx
