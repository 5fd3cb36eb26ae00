#pragma once

#include "base/optional_string.h"

#include <memory>
#include <string>

namespace qlx {

// The client's settings, held by the window's hidden dw_2: ordered rows of at
// least CODE and VALUE, loaded from and saved to the settings file. Codes and
// values are UTF-8; codes are compared exactly, byte for byte; when several
// rows share a code, the first one counts.
//
// The file is a UTF-8 JSON object (an optional byte order mark is kept) whose
// array "rows" holds the rows; every other member, of the object or of a row,
// is written back in its order. Rows that are not objects or whose CODE is not
// a string are kept but never found. A missing or null VALUE reads as null; a
// VALUE of another type (number, boolean, structure) reads as its compact JSON
// text. Anything that is not such an object with such an array (empty, blanks,
// truncated or invalid JSON, invalid UTF-8, repeated member names, nesting
// deeper than 256) loads as an empty table and is never replaced by save().
class SettingsTable {
public:
    SettingsTable();
    ~SettingsTable();
    SettingsTable(SettingsTable&&) noexcept;
    SettingsTable& operator=(SettingsTable&&) noexcept;

    // Replaces the table with the rows of `path`. A missing, unreadable or
    // malformed file gives an empty table and false. The temporary files of
    // saves of `path` that were killed midway are removed first.
    bool load(const std::string& path);

    // Writes the whole document to `path`, atomically. False when it could not
    // be written, when `path` is a file that exists but could not be read or
    // parsed at load (the client's settings are not ours to destroy), or when
    // the file is read-only for its owner. A missing file is created, a missing
    // folder is not.
    bool save(const std::string& path);
    // Why the last save failed, in words for the user; empty after a save
    // that succeeded.
    [[nodiscard]] const std::string& saveError() const;

    // The first row's VALUE for `code` without trailing spaces (null for a null
    // VALUE), or `default_` when no row has that code. `flag` has no effect.
    [[nodiscard]] OptString uf_get(const OptString& code, const OptString& default_,
                                   const OptString& flag) const;
    // Sets VALUE of the first row with `code` (appending a row when there is
    // none) and returns the previous value trimmed of blanks, or "" for a new
    // row. `flag` has no effect.
    OptString uf_set(const OptString& code, const OptString& data, const OptString& flag);

    [[nodiscard]] int rowCount() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace qlx
