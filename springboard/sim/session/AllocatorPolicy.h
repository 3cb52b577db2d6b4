#pragma once

// velmora-sim's allocator policy, the program's own (the IPC server library
// sets none): SpringBoard's IPC replies and the handlers' results behind
// them may be megabytes, built and freed on many threads. Header-only, so
// that programs measured as velmora-sim (the benchmark's server) use the
// very same.

#include <malloc.h>

namespace sim {

// At the start of main. glibc raises its mmap threshold after the first
// large block is freed, and every later one then stays in some thread's
// heap when the load is over: a fixed threshold gives them back at once.
inline void useAllocatorPolicy() { ::mallopt(M_MMAP_THRESHOLD, 128 * 1024); }

// The IPC server's whenIdle. A load leaves the small blocks of many threads
// free in their heaps but not at their tops, where nothing gives them back:
// megabytes after 64 apps at once. Trimming every heap returns them, once
// per load, when the server has gone idle.
inline void giveBackFreedMemory() { ::malloc_trim(0); }

}  // namespace sim
