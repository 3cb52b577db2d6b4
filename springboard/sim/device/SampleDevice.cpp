#include "SampleDevice.h"

#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "BuiltPackage.h"
#include "DeviceBuilder.h"
#include "DeviceState.h"

namespace fs = std::filesystem;

namespace sim {
namespace {

bool isCurrent(const fs::path& sample) {
    std::error_code ec;
    return fs::is_directory(sample / "var/mobile", ec) && !packageWarning(sample.string());
}

// Makes the template afresh; false when the build directory takes no writes.
bool makeTemplate(const fs::path& sample, const std::string& package) {
    const std::string suffix = "." + std::to_string(::getpid());
    const fs::path fresh = sample.string() + ".new" + suffix, old = sample.string() + ".old" + suffix;
    std::string ignored;
    if (!createDevice(fresh.string(), sampleDeviceOptions(), package, &ignored)) return false;
    std::error_code ec;
    // Another run may have put a current template in place meanwhile; one
    // that is being copied is not moved away.
    if (!isCurrent(sample)) {
        fs::rename(sample, old, ec);
        fs::rename(fresh, sample, ec);
    }
    fs::remove_all(fresh, ec);
    fs::remove_all(old, ec);
    return isCurrent(sample);
}

}  // namespace

bool makeSampleDevice(const std::string& directory, std::string* error) {
    auto package = locateBuiltPackage(error);
    if (!package) return false;
    const fs::path sample = fs::path(*package).parent_path() / "sample-device";
    bool copied = false;
    if (isCurrent(sample) || makeTemplate(sample, *package)) {
        std::error_code ec;
        fs::copy(sample, directory, fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
        copied = !ec;
        // Replaced while it was copied: make the device the long way.
        if (!copied) fs::remove_all(directory, ec);
    }
    if (!copied && !createDevice(directory, sampleDeviceOptions(), *package, error)) return false;
    setDeviceIsTemporary(true);
    return true;
}

}  // namespace sim
