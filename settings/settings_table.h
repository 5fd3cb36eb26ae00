#pragma once

#include "app/optional_string.h"

#include <QString>

#include <memory>

namespace qlx {

// The client's settings, held by the window's hidden dw_2: ordered rows of at
// least CODE and VALUE, loaded from and saved to the settings file. Codes are
// compared exactly; when several rows share a code, the first one counts.
class SettingsTable {
public:
    SettingsTable();
    ~SettingsTable();
    SettingsTable(SettingsTable&&) noexcept;
    SettingsTable& operator=(SettingsTable&&) noexcept;

    // Replaces the table with the rows of `path`. A missing, unreadable or
    // malformed file gives an empty table and false.
    bool load(const QString& path);

    // Writes the whole document to `path`, atomically. False when it could not
    // be written, or when `path` is a file that exists but could not be read
    // or parsed at load: the client's settings are not ours to destroy.
    bool save(const QString& path);

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
