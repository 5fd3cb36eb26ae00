#include "libs/ezip/run_files.h"

#include "libs/ezip/file_io.h"

#include <array>

// The whole-file operations of the journal, the same on every platform.
namespace ezip::files {

namespace {

bool writeAndClose(io::Handle file, const std::string& bytes, bool durably) {
    const bool written =
        io::writeAll(file, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()) &&
        (!durably || io::flush(file));
    return file.close() && written;
}

} // namespace

std::optional<std::string> readAll(const std::string& path) {
    const io::Handle file = io::openForReading(path, /*sequential=*/false);
    if (!file.isOpen()) {
        return std::nullopt;
    }
    std::string bytes;
    std::array<char, 65536> buffer{};
    while (true) {
        const std::int64_t got = io::readAt(file, bytes.size(), buffer.data(), buffer.size());
        if (got < 0) {
            return std::nullopt;
        }
        if (got == 0) {
            return bytes;
        }
        bytes.append(buffer.data(), static_cast<std::size_t>(got));
    }
}

bool create(const std::string& path, const std::string& bytes, bool durably) {
    io::Handle file = io::openForWriting(path, io::Creation::New);
    if (!file.isOpen()) {
        return false;
    }
    if (!writeAndClose(std::move(file), bytes, durably)) {
        (void)remove(path);
        return false;
    }
    return !durably || syncParentOf(path);
}

bool append(const std::string& path, const std::string& bytes, bool durably) {
    io::Handle file = io::openForAppending(path);
    return file.isOpen() && writeAndClose(std::move(file), bytes, durably);
}

bool replace(const std::string& path, const std::string& bytes, bool durably) {
    const std::string copy = path + ".new";
    io::Handle file = io::openForWriting(copy, io::Creation::Truncated);
    if (!file.isOpen()) {
        return false;
    }
    if (!writeAndClose(std::move(file), bytes, durably) || !rename(copy, path)) {
        (void)remove(copy);
        return false;
    }
    return !durably || syncParentOf(path);
}

} // namespace ezip::files
