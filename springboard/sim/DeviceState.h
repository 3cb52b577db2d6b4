#pragma once

// What a device records about itself, besides the apps' own files: the app
// in front (the simulator's state file) and the Velmora package installed
// (a status file under var/lib, as dpkg keeps one). Both are property lists
// read and written through Foundation, so a hostile file is refused by the
// same guarded reader as every other.

#include <optional>
#include <string>
#include <vector>

namespace sim {

inline constexpr const char* kSimStateFile = "var/mobile/Library/Preferences/com.velmora.sim.plist";
inline constexpr const char* kPackageStatusFile = "var/lib/velmora/status.plist";

// The simulator's own record of the app in front (SpringBoard when none or
// when the file cannot be read).
std::string readFrontApplication(const std::string& device);
bool writeFrontApplication(const std::string& device, const std::string& identifier);

struct InstalledPackage {
    std::string package;
    std::string version;
    std::string architecture;
    std::string digest;               // DebianPackage::contentDigest of what was installed
    std::vector<std::string> files;   // files and links it placed, relative to the device
};

// Absent when no package was ever installed, or the record is unreadable.
std::optional<InstalledPackage> readInstalledPackage(const std::string& device);
// The directories on the way must exist (the installer makes them).
bool writeInstalledPackage(const std::string& device, const InstalledPackage& installed);

// Why `run` should warn about the device's deliverables: none installed
// through a package, or a version or content other than the build's package.
// Absent when they match, or when there is no built package to compare with.
std::optional<std::string> packageWarning(const std::string& device);

}  // namespace sim
