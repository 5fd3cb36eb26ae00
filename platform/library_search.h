#pragma once

namespace qlx {

// Keeps libraries that the process loads by name, the system's own included,
// from being taken from the current folder or the search path: only the
// program's own folder and the system's folder are searched. Called first
// thing at start, before anything loads a library.
void restrictLibrarySearch();

} // namespace qlx
