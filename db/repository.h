#pragma once

#include "base/bytes.h"
#include "db/db_connection.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qlx {

class Transaction;

// One row of the file list: a package of a build and its target folder.
struct FileListRow {
    std::string filename;
    std::string fpath; // empty for a NULL FPATH
    std::int64_t buildno = 0;
};

// The file list w_filelist: the package files whose build number is at least
// the retrieval argument A_NO, from the profile's per-build table.
class w_filelist {
public:
    explicit w_filelist(std::string fileTable);

    void setTransObject(Transaction& transaction);
    // The number of rows, 0 when none, negative on error (rows are then empty).
    long retrieve(long a_no);
    [[nodiscard]] const std::vector<FileListRow>& rows() const { return rows_; }
    // The statement as sent, without its argument.
    [[nodiscard]] std::string query() const;

private:
    std::string fileTable_;
    Transaction* transaction_ = nullptr;
    std::vector<FileListRow> rows_;
};

// Single-row BLOB selects. The buffer gets the bytes, or nullopt for a NULL
// BLOB; it is left untouched when no single row is found or the select fails.
// The transaction's SQLCode and SQLErrText describe the select.
void selectPackageByFileName(Transaction& transaction, const std::string& fileTable,
                             const std::string& filename, std::optional<Bytes>& buffer);
// The package of one row of the file list: one file name may be listed by
// several builds, each with its own package.
void selectPackageOfRow(Transaction& transaction, const std::string& fileTable,
                        const FileListRow& row, std::optional<Bytes>& buffer);
// The same package handed to `sink` piece by piece as it is read, so that it
// can go to disk without ever being held whole; `isNull` for a NULL BLOB.
void streamPackageOfRow(Transaction& transaction, const std::string& fileTable,
                        const FileListRow& row, const BlobSink& sink, bool& isNull);
void selectPackageByUpdateId(Transaction& transaction, const std::string& updateId,
                             std::optional<Bytes>& buffer);

} // namespace qlx
