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

} // namespace engine
