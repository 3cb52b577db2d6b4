#pragma once

// What SpringBoard (the simulator, or a test standing in for it) sets up in a
// process before the deliverables run. Deliverables never include this, nor
// link libFoundationState, which defines it.

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "InternalExport.h"
#include "Registration.h"

class UIApplication;

namespace springboard {

// The simulated device directory this process runs on; the device's "/".
// Setting it also sets the home directory to DEVICE/var/mobile.
INTERNAL_API void setDeviceRoot(const std::string& directory);
INTERNAL_API std::string deviceRoot();  // "" when none was set

// Overrides the home directory (NSHomeDirectory). Without a device root or an
// override, NSHomeDirectory is $HOME.
INTERNAL_API void setHomeDirectory(const std::string& directory);

// The object UIApplication::sharedApplication() returns.
INTERNAL_API void setSharedApplication(std::shared_ptr<UIApplication> application);

// Log output. Every NSLog message goes to each sink (the bare message text),
// and to standard error in NSLog's line format unless that is turned off.
using LogSink = std::function<void(const std::string& message)>;
// The sink receives messages until the returned registration is destroyed.
INTERNAL_API Registration addLogSink(LogSink sink);
INTERNAL_API void setLogToStandardError(bool enabled);

}  // namespace springboard
