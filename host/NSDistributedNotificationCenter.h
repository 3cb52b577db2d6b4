#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "HostExport.h"
#include "NSOperationQueue.h"
#include "Value.h"

// A notification as an observer receives it.
struct HOST_API NSNotification {
    std::string name;
    Value object;                          // always nil for distributed notifications here
    std::optional<Dictionary> userInfo;    // absent when posted without one
};

// The system-wide notification center. Posting is asynchronous: it returns at
// once, and each matching observer's block runs later on the queue it gave,
// with the user-info intact.
class HOST_API NSDistributedNotificationCenter {
public:
    virtual ~NSDistributedNotificationCenter();

    static std::shared_ptr<NSDistributedNotificationCenter> defaultCenter();

    // Opaque handle that removeObserver takes.
    using ObserverToken = std::shared_ptr<void>;

    // Observes notifications named `name` (every name when absent) from any
    // sender when `object` is nil. `queue` nil: the block runs on the main
    // queue. The observation lasts until removed, even if the token is dropped.
    virtual ObserverToken addObserverForName(const std::optional<std::string>& name, const Value& object,
                                             std::shared_ptr<NSOperationQueue> queue,
                                             std::function<void(const NSNotification&)> block) = 0;

    virtual void removeObserver(const ObserverToken& token) = 0;

    virtual void postNotificationName(const std::string& name, const Value& object,
                                      const std::optional<Dictionary>& userInfo) = 0;
};
