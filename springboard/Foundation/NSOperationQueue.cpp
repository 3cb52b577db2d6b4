#include "NSOperationQueue.h"

#include <condition_variable>
#include <deque>
#include <mutex>

#include "MainQueue.h"

NSOperationQueue::~NSOperationQueue() = default;

namespace {

class MainQueue final : public NSOperationQueue {
public:
    void addOperationWithBlock(std::function<void()> block) override {
        if (!block) return;
        {
            std::lock_guard lock(mutex_);
            blocks_.push_back(std::move(block));
        }
        workArrived_.notify_all();
    }

    std::size_t drain() {
        std::lock_guard drainLock(drainMutex_);
        std::size_t ran = 0;
        for (;;) {
            std::function<void()> block;
            {
                std::lock_guard lock(mutex_);
                if (blocks_.empty()) return ran;
                block = std::move(blocks_.front());
                blocks_.pop_front();
            }
            // Run outside the lock: the block may enqueue more work.
            block();
            ++ran;
        }
    }

    bool waitForWork(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        return workArrived_.wait_for(lock, timeout, [this] { return !blocks_.empty(); });
    }

    std::size_t pending() {
        std::lock_guard lock(mutex_);
        return blocks_.size();
    }

private:
    std::mutex drainMutex_;  // one drain at a time, so blocks never overlap
    std::mutex mutex_;       // guards blocks_
    std::condition_variable workArrived_;
    std::deque<std::function<void()>> blocks_;
};

const std::shared_ptr<MainQueue>& theMainQueue() {
    // Never destroyed: blocks may still be enqueued from threads that outlive
    // static destruction at exit.
    static const auto* queue = new std::shared_ptr<MainQueue>(std::make_shared<MainQueue>());
    return *queue;
}

}  // namespace

std::shared_ptr<NSOperationQueue> NSOperationQueue::mainQueue() { return theMainQueue(); }

namespace springboard {

std::size_t drainMainQueue() { return theMainQueue()->drain(); }

bool waitForMainQueueWork(std::chrono::milliseconds timeout) { return theMainQueue()->waitForWork(timeout); }

std::size_t pendingMainQueueOperations() { return theMainQueue()->pending(); }

}  // namespace springboard
