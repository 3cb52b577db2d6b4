#pragma once

// Installing and removing packages on a device, with dpkg as on a phone:
// the device lock and dpkg's frontend lock held, the package checked
// (PackageCheck) and its Depends met before dpkg runs, so that a refusal
// leaves the device as it was; dpkg then unpacks or rolls back as it does
// everywhere.

#include <optional>
#include <string>

namespace sim {

struct PackageChange {
    std::string package;
    std::string version;          // what the device has now (removed: what it had)
    std::string previousVersion;  // empty when it had none
    bool downgrade = false;
};

// Installs the package at `packagePath` into the device at `device` (a
// directory holding var/mobile). A device without a dpkg database (one made
// by an older velmora-sim) gets one first, and its old record goes once the
// install succeeds. Absent with `error` set to one line on any refusal.
std::optional<PackageChange> installPackage(const std::string& device, const std::string& packagePath,
                                            std::string* error);

// Removes `package` from the device with dpkg.
std::optional<PackageChange> removePackage(const std::string& device, const std::string& package, std::string* error);

// "installed P V into DIR", "upgraded P from A to V in DIR", ...: one line.
std::string describeChange(const PackageChange& change, const std::string& device, bool removed);

}  // namespace sim
