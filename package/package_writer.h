#pragma once

#include "base/bytes.h"

#include <functional>
#include <string>

namespace qlx {

class ExclusiveFile;

// Writes packages to disk the way the window does: in 32765-byte chunks, with
// the window let process its events before each chunk, so that it stays
// responsive while a large package goes out.
class PackageWriter {
public:
    // `beforeChunk` runs before each chunk: the window processes its events.
    explicit PackageWriter(std::function<void()> beforeChunk);

    // Replaces `filename` with `data`, unchanged: 1, or -1 when the file cannot
    // be opened or written, or the package has more chunks than the window's
    // 16-bit counters hold. Until the file is closed no other program that
    // honours locks writes into it. Takes the package by value, so that a
    // caller who moves it in has its bytes freed once they are on disk.
    int write(const std::string& filename, Bytes data);
    // The same, but on success `file` is left open on the package, its lock
    // held, so that nothing changes the package before the caller has checked
    // and unpacked it; on failure `file` is closed.
    int write(const std::string& filename, Bytes data, ExclusiveFile& file);

private:
    std::function<void()> beforeChunk_;
};

} // namespace qlx
