#pragma once

// What a device's dpkg database (var/lib/dpkg) says, read in place, and the
// platform packages every device has from the start.

#include <map>
#include <optional>
#include <string>

namespace sim {

inline constexpr const char* kDpkgDirectory = "var/lib/dpkg";

struct InstalledPackage {
    std::string package;
    std::string version;
    std::string architecture;
};

// The packages the device's database lists as installed (status "install ok
// installed"); empty when it has no database or an unreadable one.
std::map<std::string, InstalledPackage> readInstalledPackages(const std::string& device);

// Whether the device has a dpkg database at all.
bool hasDpkgDatabase(const std::string& device);

// Makes the database of a device that has none: the platform packages the
// device already has (the loader, the widget host, the IPC library), each
// owning its folders, so that dpkg checks a tweak's Depends as a phone's
// would and removing a tweak leaves those folders.
bool createPlatformDatabase(const std::string& device, std::string* error);

// The first part of a Depends field the installed packages do not meet, as
// written ("prowidgets (>= 2.0)"); absent when all are met.
std::optional<std::string> unmetDependency(const std::string& depends,
                                           const std::map<std::string, InstalledPackage>& installed);

// The md5sums dpkg keeps for `package` (var/lib/dpkg/info/PACKAGE.md5sums),
// its lines sorted; absent when there are none.
std::optional<std::string> installedMd5sums(const std::string& device, const std::string& package);

// The lines of an md5sums file, sorted, so two lists of the same files compare equal.
std::string sortedLines(const std::string& text);

}  // namespace sim
