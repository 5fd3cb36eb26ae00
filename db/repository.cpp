#include "db/repository.h"

#include "db/blob_fetch.h"
#include "db/db_connection.h"
#include "db/transaction.h"

#include <memory>

namespace qlx {

w_filelist::w_filelist(std::string fileTable) : fileTable_(std::move(fileTable)) {}

void w_filelist::setTransObject(Transaction& transaction) {
    transaction_ = &transaction;
}

std::string w_filelist::query() const {
    // Ordered by build, so that a package of a later build is unpacked after
    // (and over) the same file of an earlier one.
    return "SELECT FILENAME, FPATH, BUILDNO FROM " + fileTable_ +
           "\r\nWHERE BUILDNO >= ?\r\nORDER BY BUILDNO";
}

long w_filelist::retrieve(long a_no) {
    rows_.clear();
    if (transaction_ == nullptr) {
        return -1;
    }
    DbConnection* db = transaction_->connection();
    if (db == nullptr) {
        transaction_->setResult(-1, "The transaction is not connected");
        return -1;
    }
    if (!isPlainIdentifier(fileTable_)) {
        transaction_->setResult(-1, "Not a table name: " + fileTable_);
        return -1;
    }
    const std::unique_ptr<DbStatement> select = db->prepare(query());
    if (!select || !select->execute({static_cast<std::int64_t>(a_no)})) {
        transaction_->setResult(-1, db->lastError());
        return -1;
    }
    std::vector<FileListRow> rows;
    for (;;) {
        const DbStep step = select->next();
        if (step == DbStep::Done) {
            break;
        }
        std::optional<std::string> filename;
        std::optional<std::string> fpath;
        std::optional<std::int64_t> buildno;
        if (step == DbStep::Error || !select->readText(0, filename) ||
            !select->readText(1, fpath) || !select->readInteger(2, buildno)) {
            transaction_->setResult(-1, db->lastError());
            return -1;
        }
        rows.push_back(FileListRow{filename.value_or(std::string()), fpath.value_or(std::string()),
                                   buildno.value_or(0)});
    }
    rows_ = std::move(rows);
    transaction_->setResult(rows_.empty() ? 100 : 0);
    return static_cast<long>(rows_.size());
}

void selectPackageByFileName(Transaction& transaction, const std::string& fileTable,
                             const std::string& filename, std::optional<Bytes>& buffer) {
    selectSingleBlob(transaction, fileTable, "eFILE", {{"FILENAME", filename}}, buffer);
}

void selectPackageOfRow(Transaction& transaction, const std::string& fileTable,
                        const FileListRow& row, std::optional<Bytes>& buffer) {
    selectSingleBlob(transaction, fileTable, "eFILE",
                     {{"FILENAME", row.filename}, {"BUILDNO", row.buildno}}, buffer);
}

void streamPackageOfRow(Transaction& transaction, const std::string& fileTable,
                        const FileListRow& row, const BlobSink& sink, bool& isNull) {
    streamSingleBlob(transaction,
                     {fileTable, "eFILE", {{"FILENAME", row.filename}, {"BUILDNO", row.buildno}}},
                     sink, isNull);
}

void selectPackageByUpdateId(Transaction& transaction, const std::string& updateId,
                             std::optional<Bytes>& buffer) {
    selectSingleBlob(transaction, "QLX_UPT", "UPFILE", {{"UPDATE_ID", updateId}}, buffer);
}

} // namespace qlx
