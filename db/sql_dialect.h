#pragma once

#include <cstddef>
#include <string>

namespace qlx {

// How a database product differs where the updater and the publisher meet
// it: the types of the tables they share and how a BLOB travels best.
struct SqlDialect {
    std::string textType = "TEXT";
    std::string intType = "INTEGER";
    std::string blobType = "BLOB";
    // The function that gives a BLOB's length in bytes.
    std::string blobLength = "length";
    // The product compresses large values unless told otherwise, which is
    // wasted work on zip archives and keeps a value from being read in slices.
    bool compressesBlobs = false;
    // A BLOB is read in slices of one statement (see readBlobInSlices).
    bool readsBlobsInSlices = false;
    // Larger BLOBs are sent in parts of this size and joined on the server;
    // 0 sends every BLOB whole.
    std::size_t blobInsertPart = 0;
};

// The dialect of the product a driver names ("SQLite", "PostgreSQL",
// "Oracle", ...); an unknown product gets the plain SQL one.
[[nodiscard]] SqlDialect dialectOfProduct(const std::string& product);

// The statement that keeps `column` of `table` stored as written, for a
// product that compresses BLOBs; empty for one that does not.
[[nodiscard]] std::string uncompressedBlobStatement(const SqlDialect& dialect,
                                                    const std::string& table,
                                                    const std::string& column);

} // namespace qlx
