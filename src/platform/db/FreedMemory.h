#pragma once

// Gives the system back what the allocator keeps of memory freed.
//
// Work on other threads (a view's keys loaded, a diagram's points read)
// allocates and frees blocks of many sizes in the allocator's heaps; what is
// freed between blocks still in use stays with the process, tens of
// megabytes after a few commands on ten million rows. A worker calls this
// when its large work ends: it walks every heap, so it is never called on
// the user-interface thread.

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace engine {

inline void returnFreedMemory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

// Every block of 8 MB or more in a mapping of its own, given back the
// moment it is freed. Left to itself the allocator raises that threshold
// each time it frees such a block (up to 32 MB), and then keeps the
// ten-megabyte arrays of a view (a diagram's classes, a range's index of
// rows) in its heaps, where what is freed between them stays with the
// process: 20-30 MB more after a few diagrams of ten million rows. Called
// first thing in main, before any thread starts.
inline void keepLargeBlocksApart() {
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, 8 << 20);
    // Fixing the threshold also fixes the heap's trimming at 128 KB, and a
    // heap given back after every large free must be faulted in again at the
    // next: keep what the allocator would have kept (twice the threshold).
    mallopt(M_TRIM_THRESHOLD, 16 << 20);
#endif
}

} // namespace engine
