#include "NSOperationQueue.h"

#include "FoundationState.h"

NSOperationQueue::~NSOperationQueue() = default;

namespace {

// The main queue's blocks are held by libFoundationState, where SpringBoard
// drains them (MainQueue.h); this object only hands them over.
class MainQueue final : public NSOperationQueue {
public:
    void addOperationWithBlock(std::function<void()> block) override {
        springboard::enqueueOnMainQueue(std::move(block));
    }
};

}  // namespace

std::shared_ptr<NSOperationQueue> NSOperationQueue::mainQueue() {
    // Never destroyed: blocks may still be enqueued from threads that outlive
    // static destruction at exit.
    static const auto* queue = new std::shared_ptr<NSOperationQueue>(std::make_shared<MainQueue>());
    return *queue;
}
