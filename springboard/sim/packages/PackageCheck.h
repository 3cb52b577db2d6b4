#pragma once

// What the simulator checks in a package before dpkg sees it. dpkg trusts
// packages and follows links by design; a device is a plain directory on
// the user's machine, so nothing a package holds may reach outside it, touch
// the apps or the user's data, or run code at install time.
//
// The check reads packages with libarchive, whose dependencies cost more to
// load than a whole simulator run needs; it lives in a module of its own
// (velmora-packagecheck.so, with the program's libraries: lib/ in the
// build, lib/velmora/ installed), loaded only when a package is installed.

#include <optional>
#include <string>

namespace sim {

// Far above what Velmora ships; bounds what a hostile package can make
// dpkg write and the database record.
inline constexpr std::size_t kMaxPackageEntries = 10000;
inline constexpr std::size_t kMaxPackageFileBytes = 64u << 20;

struct PackageControl {
    std::string package;       // "Package"
    std::string version;       // "Version"
    std::string architecture;  // "Architecture"
    std::string depends;       // "Pre-Depends" and "Depends", joined by ", "
};

// The control fields of the package at `path` when dpkg may install it into
// the device at `device`; absent with `error` set (one line) when it is no
// Debian package, has maintainer scripts, or holds an entry that is absolute
// or has a ".." component, a link whose target is absolute or has one, a
// hard link, a device file or FIFO, an entry under var/ or Applications/, an
// entry behind one of its own links, a file past kMaxPackageFileBytes, more
// than kMaxPackageEntries entries, or an entry whose folder in the device is
// a link leading out of it or into var/ or Applications/.
// `error` also says so when the module cannot be loaded.
std::optional<PackageControl> checkPackage(const std::string& path, const std::string& device, std::string* error);

// The module's entry point, as checkPackage calls it.
using PackageCheckFunction = bool (*)(const std::string& path, const std::string& device, PackageControl* control,
                                      std::string* error);
inline constexpr const char* kPackageCheckSymbol = "velmoraCheckPackage";

}  // namespace sim
