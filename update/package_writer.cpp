// The package writer and the target-folder function of the updater window.
#include "update/exclusive_file.h"
#include "update/package_paths.h"
#include "window/w_vercheck.h"
#include "window/window_port.h"

#include <QDir>
#include <QFile>

namespace qlx {

namespace {

constexpr qsizetype kChunk = 32765;
constexpr qsizetype kChunksPerWindow = 100;
constexpr qsizetype kWindow = kChunk * kChunksPerWindow; // 3,276,500 bytes

// Chunks reach the file in runs of up to a window's size: a write call per
// 32765 bytes costs twice the throughput of large writes. The chunks of a run
// lie back to back in the package, so a run is written straight from the
// package's bytes; copying them into a buffer first would touch every byte
// twice and, with a freshly grown buffer per window, fault in its pages again.
class ChunkRun {
public:
    explicit ChunkRun(QFile& file) : file_(file) {}

    bool append(QByteArrayView chunk) {
        if (chunk.isEmpty()) {
            return true;
        }
        const bool adjacent = begin_ != nullptr && begin_ + size_ == chunk.data();
        if ((!adjacent || size_ + chunk.size() > kWindow) && !flush()) {
            return false;
        }
        if (begin_ == nullptr) {
            begin_ = chunk.data();
        }
        size_ += chunk.size();
        return true;
    }

    bool flush() {
        const bool ok = size_ == 0 || file_.write(begin_, size_) == size_;
        begin_ = nullptr;
        size_ = 0;
        return ok;
    }

private:
    QFile& file_;
    const char* begin_ = nullptr;
    qsizetype size_ = 0;
};

} // namespace

// NOLINTNEXTLINE(performance-unnecessary-value-param): a sink, see the declaration.
int w_vercheck::uf_filewrite(const QString& filename, QByteArray data) {
    // Replaces an existing file; bytes go out unchanged. Until it is closed no
    // other program that honours locks writes into it.
    const int fd = openExclusiveForWriting(QFile::encodeName(filename).toStdString());
    if (fd < 0) {
        return -1;
    }
    QFile file;
    if (!file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered,
                   QFileDevice::AutoCloseHandle)) {
        closeExclusive(fd);
        return -1;
    }
    const qsizetype length = data.size();
    const qsizetype chunks = length > kChunk ? (length + kChunk - 1) / kChunk : 1;
    // The window's counters are 16-bit: larger packages are out of range.
    if (chunks > 32767) {
        file.close();
        return -1;
    }

    ChunkRun out(file);
    // Each window of 100 chunks is cut off the front of our own copy of the
    // package; the cut is an offset, so no byte is copied more than once.
    qsizetype windowStart = 0;
    QByteArrayView window;
    qsizetype position = 0;
    for (qsizetype chunk = 1; chunk <= chunks; ++chunk) {
        port_.processPendingEvents();
        if ((chunk - 1) % kChunksPerWindow == 0) {
            const qsizetype size = std::min(kWindow, length - windowStart);
            window = QByteArrayView(data.constData() + windowStart, size);
            windowStart += size;
            position = 0;
        }
        const QByteArrayView piece =
            window.sliced(position, std::min(kChunk, window.size() - position));
        position += kChunk;
        if (!out.append(piece)) {
            file.close();
            return -1;
        }
    }
    if (!out.flush() || !file.flush()) {
        file.close();
        return -1;
    }
    file.close();
    return file.error() == QFileDevice::NoError ? 1 : -1;
}

QString w_vercheck::uf_path(const QString& path, const QString& action) {
    return enterFolder(path, action).first;
}

std::optional<QString> w_vercheck::targetFolder(const QString& path, const QString& action) {
    auto [folder, entered] = enterFolder(path, action);
    if (!entered && !action.isEmpty()) {
        return std::nullopt;
    }
    return folder;
}

std::pair<QString, bool> w_vercheck::enterFolder(const QString& path, const QString& action) {
    bool entered = QDir::setCurrent(action);
    if (!entered) {
        // Missing intermediate folders are created too: a package's target may
        // lie several levels below the installation folder.
        if (!action.isEmpty()) {
            QDir().mkpath(action);
        }
        entered = QDir::setCurrent(action);
    }
    QString result = currentFolder();
    QDir::setCurrent(path);
    return {std::move(result), entered};
}

} // namespace qlx
