#pragma once

// The host side of NSDistributedNotificationCenter: lets SpringBoard (the
// simulator's trace) see every notification as it is posted. The listeners
// live in libFoundationState.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "InternalExport.h"
#include "Registration.h"
#include "Value.h"

namespace springboard {

// Called on the posting thread, once per post, before any observer block is
// enqueued, with the name and user-info exactly as posted. A listener must
// not add or remove listeners.
using NotificationPostListener =
    std::function<void(const std::string& name, const std::optional<Dictionary>& userInfo)>;

// The listener is called until the returned registration is destroyed.
// Thread-safe.
INTERNAL_API Registration addNotificationPostListener(NotificationPostListener listener);

}  // namespace springboard
