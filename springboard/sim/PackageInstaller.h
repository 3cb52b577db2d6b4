#pragma once

// Installs a Velmora package into a device the way dpkg would: the data
// member is unpacked into a staging folder inside the device, every entry
// checked to stay inside it, then each file is renamed into place (a file
// is replaced whole or not at all), files the previous install placed and
// this one does not are removed, and the status file records the package.

#include <optional>
#include <string>

#include "DeviceState.h"

namespace sim {

// Installs `packagePath` into the device at `device` (a directory holding
// var/mobile). On any problem found before the first file moves (no device,
// not a .deb, truncated, another package, an entry that would land outside
// the device, a device path in the way), the device is left as it was and
// `error` holds one line. Returns what was installed.
std::optional<InstalledPackage> installPackage(const std::string& device, const std::string& packagePath,
                                               std::string* error);

}  // namespace sim
