#include "platform/file_handle.h"

#include <array>

namespace qlx {

std::optional<std::string> readToEnd(const FileHandle& file) {
    std::string bytes;
    std::array<char, 65536> buffer{};
    while (true) {
        const std::int64_t got = readAt(file, bytes.size(), buffer.data(), buffer.size());
        if (got < 0) {
            return std::nullopt;
        }
        if (got == 0) {
            return bytes;
        }
        bytes.append(buffer.data(), static_cast<std::size_t>(got));
    }
}

FileContents readOpenedFile(const FileHandle& file) {
    FileContents contents{FileReadState::Unusable, {}};
    std::optional<std::string> bytes;
    if (file.isOpen() && fileSize(file)) {
        bytes = readToEnd(file);
    }
    if (bytes) {
        contents.state = FileReadState::Read;
        contents.bytes = std::move(*bytes);
    }
    return contents;
}

} // namespace qlx
