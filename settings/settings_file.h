#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace qlx {

// The settings file on disk: a UTF-8 JSON object whose array "rows" holds the
// CODE/VALUE rows. Everything else in it is the client's and is carried along.
struct SettingsDocument {
    nlohmann::ordered_json json;
    // The client may write a byte order mark; it is written back when it was there.
    bool byteOrderMark = false;
};

// A fresh document without rows, as a missing file is taken to be.
[[nodiscard]] SettingsDocument emptySettingsDocument();

enum class SettingsFileState {
    Missing,  // nothing at the path: a save may create it
    Unusable, // something is there that we could not read or understand
    Loaded,
};

struct SettingsFileContent {
    SettingsFileState state = SettingsFileState::Missing;
    SettingsDocument document;
};

// Parses `bytes`; nullopt when they are not a settings document. Duplicate member
// names and absurd nesting count as not a document, since saving could not give
// them back as they were.
[[nodiscard]] std::optional<SettingsDocument> parseSettingsDocument(std::string_view bytes);

// The canonical layout: two-space indentation, one member per line, UTF-8
// unescaped, a final newline. A file in this layout comes back byte for byte.
[[nodiscard]] std::string serialiseSettingsDocument(const SettingsDocument& document);

[[nodiscard]] SettingsFileContent readSettingsFile(const std::string& path);

// Replaces `path` with `bytes` through a temporary file beside it, so that
// readers see either the old or the whole new file, never a torn or empty one;
// see replaceFileContents.
[[nodiscard]] bool writeFileAtomically(const std::string& path, std::string_view bytes);

} // namespace qlx
