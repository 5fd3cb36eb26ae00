#include "platform/heap.h"

namespace qlx {

// The Windows heap gives large blocks pages of their own already.
void returnLargeBlocksToSystem() {}

} // namespace qlx
