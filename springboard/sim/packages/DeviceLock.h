#pragma once

// The one lock a device has: var/run/velmora.lock, held (flock) by the
// SpringBoard serving the device and by a package install, so that neither
// changes the device under the other and two SpringBoards never share one.
// The holder writes its pid and what it does into the file, so that the
// process turned away can say who has the device.

#include <memory>
#include <string>

#include "FileDescriptor.h"

namespace sim {

inline constexpr const char* kDeviceLockFile = "var/run/velmora.lock";

class DeviceLock {
public:
    // What the holder is doing, as the refused process names it.
    enum class Purpose { Serve, Install };

    // Takes the lock of the device at `device` without waiting. nullptr with
    // `error` set when another process holds it, naming that process ("a
    // SpringBoard (pid 42) is serving it"), or when the lock file cannot be
    // made (var/run is no directory of the device, say).
    static std::unique_ptr<DeviceLock> acquire(const std::string& device, Purpose purpose, std::string* error);

    // Releases the lock; the file stays, as an empty one.
    ~DeviceLock();
    DeviceLock(const DeviceLock&) = delete;
    DeviceLock& operator=(const DeviceLock&) = delete;

private:
    explicit DeviceLock(springboard::FileDescriptor fd) : fd_(std::move(fd)) {}
    springboard::FileDescriptor fd_;
};

}  // namespace sim
