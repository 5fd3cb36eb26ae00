#pragma once

#include <cstddef>
#include <optional>

namespace qlx {

// Decodes base64 text (line breaks allowed, as the server writes them) into
// `out`, which has room for `capacity` bytes: the number of bytes written, or
// nullopt for text that is not base64 or does not fit.
[[nodiscard]] std::optional<std::size_t> decodeBase64(const char* text, std::size_t size, char* out,
                                                      std::size_t capacity);

} // namespace qlx
