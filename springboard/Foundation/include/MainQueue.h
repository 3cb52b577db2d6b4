#pragma once

// The host side of NSOperationQueue::mainQueue(): the simulated run loop.
// Deliverables enqueue; SpringBoard (the simulator, or a test standing in for
// it) drains on the thread it treats as the main thread. The queue lives in
// libFoundationState.

#include <chrono>
#include <cstddef>

#include "InternalExport.h"

namespace springboard {

// Runs the main queue's blocks one at a time in FIFO order until the queue is
// empty, including blocks enqueued while draining (by the blocks themselves
// or by other threads). Returns how many blocks ran. Drains from several
// threads are serialised, so blocks never overlap. A block must not drain
// the main queue itself (that would deadlock).
INTERNAL_API std::size_t drainMainQueue();

// Blocks until the main queue holds at least one block or `timeout` passes.
// Returns whether work is waiting. For a run loop that sleeps between events:
//     while (!stopping) if (waitForMainQueueWork(100ms)) drainMainQueue();
INTERNAL_API bool waitForMainQueueWork(std::chrono::milliseconds timeout);

// The number of blocks waiting on the main queue.
INTERNAL_API std::size_t pendingMainQueueOperations();

}  // namespace springboard
