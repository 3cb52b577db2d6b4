#pragma once

// Running dpkg on a device (`dpkg --root=DEVICE`) as on a phone: the device
// keeps dpkg's database under var/lib/dpkg and its log in var/log/dpkg.log,
// and nothing of the host's own dpkg state is read or written.

#include <memory>
#include <string>
#include <vector>

#include "FileDescriptor.h"

namespace sim {

// dpkg's frontend lock of a device (var/lib/dpkg/lock-frontend), held from
// our check of a package to the end of dpkg's run, so that nothing installs
// in between; dpkg is told it is held (DPKG_FRONTEND_LOCKED).
class DpkgFrontendLock {
public:
    // nullptr with `error` set when another frontend holds it.
    static std::unique_ptr<DpkgFrontendLock> acquire(const std::string& device, std::string* error);

private:
    explicit DpkgFrontendLock(springboard::FileDescriptor fd) : fd_(std::move(fd)) {}
    springboard::FileDescriptor fd_;
};

// Runs dpkg on the device with `arguments` after the root, admin and log
// options; its output is kept out of the way. False with `error` set to
// dpkg's first error line (its reason joined on) when dpkg fails.
bool runDpkg(const std::string& device, const std::vector<std::string>& arguments, std::string* error);

// `dpkg --compare-versions a relation b` (relation: lt, le, eq, ge, gt).
bool compareVersions(const std::string& a, const std::string& relation, const std::string& b);

}  // namespace sim
