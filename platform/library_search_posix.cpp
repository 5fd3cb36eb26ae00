#include "platform/library_search.h"

namespace qlx {

// The dynamic loader takes its search order from the environment at start and
// offers no way to narrow it later; the outside libraries are loaded by their
// full path, and the current folder is searched only when the environment
// names it.
void restrictLibrarySearch() {}

} // namespace qlx
