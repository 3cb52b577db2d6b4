#pragma once

// What a device records about itself, besides the apps' own files: the app
// in front (the simulator's state file, a property list read through
// Foundation's guarded reader), and whether the Velmora package dpkg lists
// for it is the build's.

#include <optional>
#include <string>

namespace sim {

inline constexpr const char* kSimStateFile = "var/mobile/Library/Preferences/com.velmora.sim.plist";

// A device deleted when the process ends (the sample device of `run`) is
// never flushed to disk: writes to it skip fsync. Process-wide, as one
// process serves one device.
void setDeviceIsTemporary(bool temporary);
bool deviceIsTemporary();

// The simulator's own record of the app in front (SpringBoard when none or
// when the file cannot be read).
std::string readFrontApplication(const std::string& device);
bool writeFrontApplication(const std::string& device, const std::string& identifier);

// Why `run` should warn about the device's deliverables: none installed
// through a package, or a version or files other than the build's package
// (the md5sums dpkg keeps against those the build wrote). Absent when they
// match, or when there is no built package to compare with.
std::optional<std::string> packageWarning(const std::string& device);

}  // namespace sim
