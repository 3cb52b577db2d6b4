#pragma once

// Foundation's side of the process state held by libFoundationState: what
// the API's code reads of what SpringBoard set up (MainQueue.h, Platform.h,
// NotificationPostListener.h). The state lives in that one library, which
// both libFoundation and the simulator or a test link, so each piece exists
// once in a process whoever reaches it.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "InternalExport.h"
#include "NotificationPostListener.h"
#include "Platform.h"

class UIApplication;

namespace springboard {

// Where NSLog's messages go, taken at once.
struct LogTargets {
    std::vector<LogSink> sinks;
    bool toStandardError = true;
};
INTERNAL_API LogTargets logTargets();

// The home directory SpringBoard set, if any: `directory`, or, when
// `underDeviceRoot`, the device's var/mobile under `directory`.
struct HomeSetting {
    std::string directory;
    bool underDeviceRoot = false;
};
INTERNAL_API HomeSetting homeSetting();

// Appends a block to the main queue (NSOperationQueue::mainQueue()).
INTERNAL_API void enqueueOnMainQueue(std::function<void()> block);

// The notification post listeners, in the order they were added.
INTERNAL_API std::vector<NotificationPostListener> notificationPostListeners();

// The object set by setSharedApplication.
INTERNAL_API std::shared_ptr<UIApplication> sharedApplication();

}  // namespace springboard
