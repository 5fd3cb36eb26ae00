#include "platform/heap.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace qlx {

namespace {

// Blocks from this size up get pages of their own, returned when freed. A
// fixed value also stops the library from raising it to the largest block
// freed so far, which would put every later package on the heap for good.
constexpr int kOwnPagesFrom = 256 * 1024;

} // namespace

void returnLargeBlocksToSystem() {
#if defined(__GLIBC__)
    (void)mallopt(M_MMAP_THRESHOLD, kOwnPagesFrom);
#endif
}

} // namespace qlx
