#include "platform/heap.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace qlx {

namespace {

// Blocks from this size up get pages of their own, returned when freed. A
// fixed value also stops the library from raising it to the largest block
// freed so far, which would put every later package on the heap for good.
// Packages are streamed now, so the blocks this still catches are the
// database driver's: below a megabyte, the slices it takes and frees by the
// dozen per package reuse the heap instead of faulting in fresh pages.
constexpr int kOwnPagesFrom = 1024 * 1024;

} // namespace

void returnLargeBlocksToSystem() {
#if defined(__GLIBC__)
    (void)mallopt(M_MMAP_THRESHOLD, kOwnPagesFrom);
#endif
}

} // namespace qlx
