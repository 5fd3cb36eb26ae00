#include "platform/heap.h"

// Any library header tells whether this is glibc: without one, __GLIBC__ is
// not defined yet and the tuning below silently drops out.
#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace qlx {

namespace {

// Blocks from this size up get pages of their own, returned when freed. A
// fixed value also stops the library from raising it to the largest block
// freed so far, which would put every later package on the heap for good.
// Packages are streamed now, so the blocks this still catches are the
// unpacker's read buffers; the database driver's, below a megabyte, are
// taken and freed by the dozen per package and reuse the heap instead of
// faulting in fresh pages. Raising this to eight megabytes put the
// unpacker's buffers in heaps of their threads for good: 2 MB more memory.
constexpr int kOwnPagesFrom = 1024 * 1024;
// Free memory at the top of the heap kept rather than returned: the driver
// frees a statement's result just before it takes the next one's, and
// returning it each time faulted every page of it in again, which cost the
// reader more CPU time than the transfer.
constexpr int kKeptFree = 8 * 1024 * 1024;

} // namespace

void returnLargeBlocksToSystem() {
#if defined(__GLIBC__)
    (void)mallopt(M_MMAP_THRESHOLD, kOwnPagesFrom);
    (void)mallopt(M_TRIM_THRESHOLD, kKeptFree);
#endif
}

} // namespace qlx
