#pragma once

#include <functional>
#include <memory>

#include "HostExport.h"

// A queue of blocks. The main queue's blocks run one at a time, in order, on
// the process's main thread when the host drains its run loop.
class HOST_API NSOperationQueue {
public:
    virtual ~NSOperationQueue();

    // The process's main queue; the same object for the life of the process.
    static std::shared_ptr<NSOperationQueue> mainQueue();

    // Enqueues `block`; returns at once. Thread-safe.
    virtual void addOperationWithBlock(std::function<void()> block) = 0;
};
