#include "NSDistributedNotificationCenter.h"

#include <atomic>
#include <mutex>
#include <vector>

#include "FoundationState.h"

NSDistributedNotificationCenter::~NSDistributedNotificationCenter() = default;

namespace {

struct Observer {
    std::optional<std::string> name;  // absent: every name
    std::shared_ptr<NSOperationQueue> queue;
    std::function<void(const NSNotification&)> block;
    // Cleared by removeObserver, so deliveries already queued are dropped.
    std::atomic<bool> active{true};
};

// Every sender is in this one process, so "distributed" reduces to a
// process-wide center whose deliveries always go through a queue.
class DistributedNotificationCenter final : public NSDistributedNotificationCenter {
public:
    ObserverToken addObserverForName(const std::optional<std::string>& name, const Value& /*object*/,
                                     std::shared_ptr<NSOperationQueue> queue,
                                     std::function<void(const NSNotification&)> block) override {
        auto observer = std::make_shared<Observer>();
        observer->name = name;
        observer->queue = queue ? std::move(queue) : NSOperationQueue::mainQueue();
        observer->block = std::move(block);
        std::lock_guard lock(mutex_);
        observers_.push_back(observer);
        return observer;
    }

    void removeObserver(const ObserverToken& token) override {
        if (!token) return;
        std::lock_guard lock(mutex_);
        for (auto it = observers_.begin(); it != observers_.end(); ++it) {
            if (it->get() == token.get()) {
                (*it)->active = false;
                observers_.erase(it);
                return;
            }
        }
    }

    void postNotificationName(const std::string& name, const Value& /*object*/,
                              const std::optional<Dictionary>& userInfo) override {
        std::vector<std::shared_ptr<Observer>> matching;
        {
            std::lock_guard lock(mutex_);
            for (const auto& observer : observers_)
                if (!observer->name || *observer->name == name) matching.push_back(observer);
        }
        for (const auto& listener : springboard::notificationPostListeners()) listener(name, userInfo);

        // Distributed notifications never carry an object.
        const auto notification = std::make_shared<const NSNotification>(NSNotification{name, Value(), userInfo});
        for (const auto& observer : matching) {
            observer->queue->addOperationWithBlock([observer, notification] {
                if (observer->active && observer->block) observer->block(*notification);
            });
        }
    }

private:
    std::mutex mutex_;
    std::vector<std::shared_ptr<Observer>> observers_;
};

const std::shared_ptr<DistributedNotificationCenter>& theCenter() {
    // Never destroyed, like the main queue it feeds.
    static const auto* center =
        new std::shared_ptr<DistributedNotificationCenter>(std::make_shared<DistributedNotificationCenter>());
    return *center;
}

}  // namespace

std::shared_ptr<NSDistributedNotificationCenter> NSDistributedNotificationCenter::defaultCenter() {
    return theCenter();
}
