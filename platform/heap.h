#pragma once

namespace qlx {

// Lets the memory of large blocks (whole packages, decoder windows) go back
// to the system as soon as they are freed. Without this the C library keeps
// the largest blocks a run has freed for reuse, and blocks freed on another
// thread than the one that took them stay in that thread's pool, so that
// the peak of a run is the sum of every pool's largest moment rather than
// what the run holds at once. Call it once, before the first thread starts.
void returnLargeBlocksToSystem();

} // namespace qlx
