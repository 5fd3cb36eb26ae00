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
// Packages are streamed now, so what this still catches is a whole package
// read into memory. The blocks that the database driver (its results) and
// the unpacker (its read buffers of a megabyte) take and free by the dozen
// per package stay below it and reuse the heap instead of faulting in fresh
// pages.
constexpr int kOwnPagesFrom = 8 * 1024 * 1024;
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
