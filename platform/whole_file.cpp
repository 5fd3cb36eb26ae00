#include "platform/whole_file.h"

#include "platform/file_handle.h"
#include "platform/files.h"

// The journal's whole-file operations, the same on every platform.
namespace qlx {

namespace {

bool writeAndClose(FileHandle file, const std::string& bytes, bool durably) {
    const bool written =
        writeAll(file, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()) &&
        (!durably || flush(file));
    return file.close() && written;
}

} // namespace

std::optional<std::string> readWholeFile(const std::string& path) {
    const FileHandle file = openForReading(path, /*sequential=*/false);
    if (!file.isOpen()) {
        return std::nullopt;
    }
    return readToEnd(file);
}

bool createWholeFile(const std::string& path, const std::string& bytes, bool durably) {
    FileHandle file = openForWriting(path, Creation::New);
    if (!file.isOpen()) {
        return false;
    }
    if (!writeAndClose(std::move(file), bytes, durably)) {
        (void)removeFile(path);
        return false;
    }
    return !durably || syncParentOf(path);
}

bool appendToFile(const std::string& path, const std::string& bytes, bool durably) {
    FileHandle file = openForAppending(path);
    return file.isOpen() && writeAndClose(std::move(file), bytes, durably);
}

bool replaceThroughCopy(const std::string& path, const std::string& bytes, bool durably) {
    const std::string copy = path + ".new";
    FileHandle file = openForWriting(copy, Creation::Truncated);
    if (!file.isOpen()) {
        return false;
    }
    if (!writeAndClose(std::move(file), bytes, durably) || !renameOver(copy, path)) {
        (void)removeFile(copy);
        return false;
    }
    return !durably || syncParentOf(path);
}

} // namespace qlx
