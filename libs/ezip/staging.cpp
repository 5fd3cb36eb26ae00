#include "libs/ezip/staging.h"

#include "libs/ezip/block_writer.h"
#include "libs/ezip/decoded_copy.h"
#include "libs/ezip/direct_copy.h"
#include "libs/ezip/ezip_codes.h"
#include "libs/ezip/raw_decoder.h"
#include "libs/ezip/read_source.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>
#include <zip.h>

namespace ezip {

namespace {

constexpr std::size_t bufferSize = std::size_t{256} * 1024;
constexpr unsigned maxWorkers = 2;
// Entries from this size on are written on a thread of their own.
constexpr std::uint64_t pipelineSize = std::uint64_t{8} << 20U;
// Below this many bytes in all, a second thread costs more to start and join
// than it saves: a run of many small packages would pay it for each.
constexpr std::uint64_t secondWorkerSize = std::uint64_t{4} << 20U;
// Staged files are spread over folders of this many, because creating a file
// in a large folder costs a search of the folder on file systems without
// hashed directories.
constexpr std::uint32_t bucketSize = 64;

int makeBuckets(const qlx::FileHandle& staging, const Plan& plan) {
    std::vector<bool> needed;
    for (const auto& file : plan.files) {
        const std::size_t bucket = file.index / bucketSize;
        if (bucket >= needed.size()) {
            needed.resize(bucket + 1);
        }
        needed[bucket] = true;
    }
    for (std::size_t bucket = 0; bucket < needed.size(); ++bucket) {
        if (needed[bucket] && !qlx::makeFolderAt(staging, std::to_string(bucket))) {
            return EZIP_E_STAGING;
        }
    }
    return EZIP_OK;
}

struct ArchiveCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
using Archive = std::unique_ptr<zip_t, ArchiveCloser>;

struct FileCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};
using EntryFile = std::unique_ptr<zip_file_t, FileCloser>;

int checkEntryCount(zip_t* archive, std::size_t entryCount) {
    // libzip reads the directory on its own; it must see the archive we checked.
    return zip_get_num_entries(archive, 0) == static_cast<zip_int64_t>(entryCount)
               ? EZIP_OK
               : EZIP_E_STRUCTURE;
}

int codeOf(zip_file_t* file) {
    switch (zip_error_code_zip(zip_file_get_error(file))) {
    case ZIP_ER_CRC:
    case ZIP_ER_ZLIB:
    case ZIP_ER_COMPRESSED_DATA:
    case ZIP_ER_EOF:
    case ZIP_ER_READ:
        return EZIP_E_DATA;
    case ZIP_ER_INCONS:
        return EZIP_E_SIZE;
    default:
        return EZIP_E_DATA;
    }
}

// Whether libzip sees the entry as the central directory we checked does.
bool statMatches(zip_t* archive, const PlannedFile& file, zip_stat_t& stat) {
    zip_stat_init(&stat);
    return zip_stat_index(archive, file.index, 0, &stat) == 0 &&
           (stat.valid & ZIP_STAT_SIZE) != 0 && stat.size == file.size &&
           (stat.valid & ZIP_STAT_COMP_SIZE) != 0 && stat.comp_size == file.compressedSize &&
           (stat.valid & ZIP_STAT_COMP_METHOD) != 0 && stat.comp_method == file.method &&
           (!decodedHere(file.method) || (stat.valid & ZIP_STAT_CRC) != 0);
}

// Inflates `entry` into `staged`, never past the size the directory declares.
int copyEntry(zip_file_t* entry, const qlx::FileHandle& staged, const PlannedFile& file,
              const WriteBuffers& buffers) {
    int code = EZIP_OK;
    std::uint64_t total = 0;
    BlockWriter writer(staged, buffers.first, buffers.capacity, buffers.pipelined);
    while (true) {
        const zip_int64_t got = zip_fread(entry, writer.buffer(), bufferSize);
        if (got < 0) {
            code = codeOf(entry);
            break;
        }
        if (got == 0) {
            break;
        }
        total += static_cast<std::uint64_t>(got);
        if (total > file.size) {
            code = EZIP_E_SIZE;
            break;
        }
        if (!writer.put(static_cast<std::size_t>(got))) {
            code = EZIP_E_STAGING;
            break;
        }
    }
    if (!writer.finish() && code == EZIP_OK) {
        code = EZIP_E_STAGING;
    }
    if (code == EZIP_OK && total != file.size) {
        code = EZIP_E_SIZE;
    }
    return code;
}

// Reads an entry of a method that only libzip and the decoders here know.
int copyThroughLibzip(zip_t* archive, ReadSource& source, const PlannedFile& file,
                      const qlx::FileHandle& staged, const WriteBuffers& buffers) {
    zip_stat_t stat;
    if (!statMatches(archive, file, stat)) {
        return EZIP_E_STRUCTURE;
    }
    // libzip reads the local header and then the data; a data descriptor
    // after them is not read.
    source.expect(file.localOffset, file.dataEnd);
    // Methods libzip cannot decode are read raw and decoded here.
    const bool raw = decodedHere(file.method);
    EntryFile entry(zip_fopen_index(archive, file.index, raw ? ZIP_FL_COMPRESSED : 0));
    if (!entry) {
        return EZIP_E_DATA;
    }
    if (raw) {
        BlockWriter writer(staged, buffers.first, buffers.capacity, buffers.pipelined);
        return copyDecoded(entry.get(), file, stat.crc, writer, bufferSize);
    }
    return copyEntry(entry.get(), staged, file, buffers);
}

struct Shared {
    const std::string& archivePath;
    std::size_t entryCount;
    const std::vector<const PlannedFile*>& order;
    const LibzipView& view;
    const qlx::FileHandle& staging;
    bool durable;
    std::atomic<std::size_t> next{0};
    std::atomic<int> failure{EZIP_OK};

    void fail(int code) {
        int expected = EZIP_OK;
        failure.compare_exchange_strong(expected, code);
    }
};

// One thread's reading of the archive: its own handle, and libzip opened
// only when an entry needs it, since parsing the directory again costs a
// small archive more than its entries.
class Worker {
public:
    explicit Worker(Shared& shared)
        : shared_(shared), file_(qlx::openForReading(shared.archivePath, /*sequential=*/true)),
          first_(std::make_unique_for_overwrite<unsigned char[]>(bufferSize)) {}

    [[nodiscard]] bool isOpen() const { return file_.isOpen(); }

    int stage(const PlannedFile& file) {
        qlx::FileHandle staged =
            qlx::createFileAt(shared_.staging, stagedName(file), file.executable);
        if (!staged.isOpen()) {
            return EZIP_E_STAGING;
        }
        const WriteBuffers buffers{first_.get(), bufferSize, file.size >= pipelineSize};
        int code = EZIP_OK;
        if (readDirectly(file.method)) {
            code = direct_.copy(file_, file, staged, buffers);
        } else {
            code = openLibzip();
            code = code == EZIP_OK
                       ? copyThroughLibzip(archive_.get(), *source_, file, staged, buffers)
                       : code;
        }
        if (code == EZIP_OK && shared_.durable && !qlx::flushStaged(staged)) {
            code = EZIP_E_STAGING;
        }
        if (code == EZIP_OK) {
            qlx::setModifiedTime(staged, times_.of(file));
        }
        if (!staged.close() && code == EZIP_OK) {
            code = EZIP_E_STAGING;
        }
        return code;
    }

private:
    int openLibzip() {
        if (archive_) {
            return EZIP_OK;
        }
        qlx::FileHandle file = qlx::openForReading(shared_.archivePath, /*sequential=*/true);
        if (!file.isOpen()) {
            return EZIP_E_OPEN;
        }
        source_ = std::make_unique<ReadSource>(std::move(file), shared_.view);
        archive_.reset(source_->open());
        if (!archive_) {
            return EZIP_E_STRUCTURE;
        }
        return checkEntryCount(archive_.get(), shared_.entryCount);
    }

    Shared& shared_;
    qlx::FileHandle file_;
    std::unique_ptr<unsigned char[]> first_;
    DirectCopier direct_;
    ModifiedTimes times_;
    std::unique_ptr<ReadSource> source_;
    Archive archive_; // after source_, which it reads through
};

void work(Shared& shared) noexcept {
    try {
        Worker worker(shared);
        if (!worker.isOpen()) {
            shared.fail(EZIP_E_OPEN);
            return;
        }
        while (shared.failure.load() == EZIP_OK) {
            const std::size_t i = shared.next.fetch_add(1);
            if (i >= shared.order.size()) {
                return;
            }
            if (const int code = worker.stage(*shared.order[i]); code != EZIP_OK) {
                shared.fail(code);
                return;
            }
        }
    } catch (...) {
        shared.fail(EZIP_E_INTERNAL);
    }
}

} // namespace

std::string stagedName(const PlannedFile& file) {
    return std::to_string(file.index / bucketSize) + "/" + std::to_string(file.index);
}

int inflateAll(const std::string& archivePath, std::size_t entryCount, const Plan& plan,
               const qlx::FileHandle& staging, bool durable) {
    // The largest entries first, so that the two threads finish together.
    std::vector<const PlannedFile*> order;
    order.reserve(plan.files.size());
    for (const auto& file : plan.files) {
        order.push_back(&file);
    }
    std::stable_sort(order.begin(), order.end(), [](const PlannedFile* a, const PlannedFile* b) {
        return a->compressedSize > b->compressedSize;
    });
    if (const int code = makeBuckets(staging, plan); code != EZIP_OK) {
        return code;
    }
    Shared shared{archivePath, entryCount, order, plan.view, staging, durable};
    const unsigned cores =
        plan.totalSize < secondWorkerSize ? 1U : std::max(1U, std::thread::hardware_concurrency());
    const auto workers = static_cast<unsigned>(
        std::min<std::size_t>({maxWorkers, cores, std::max<std::size_t>(1, order.size())}));
    std::vector<std::thread> threads;
    for (unsigned i = 1; i < workers; ++i) {
        try {
            threads.emplace_back([&shared] { work(shared); });
        } catch (...) {
            break; // fewer threads only make it slower
        }
    }
    work(shared);
    for (auto& thread : threads) {
        thread.join();
    }
    return shared.failure.load();
}

} // namespace ezip
