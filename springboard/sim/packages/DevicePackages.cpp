#include "DevicePackages.h"

#include <filesystem>
#include <memory>
#include <system_error>

#include "DeviceLock.h"
#include "Dpkg.h"
#include "DpkgDatabase.h"
#include "PackageCheck.h"

namespace fs = std::filesystem;

namespace sim {
namespace {

// Where devices made before dpkg kept their package record.
constexpr const char* kOldRecordDirectory = "var/lib/velmora";

std::optional<PackageChange> fail(std::string* error, const std::string& message) {
    if (error) *error = message;
    return std::nullopt;
}

// The device's absolute root, or absent when `device` is no device.
std::optional<std::string> deviceRoot(const std::string& device) {
    std::error_code ec;
    fs::path root = fs::absolute(device, ec).lexically_normal();
    if (root.has_filename() == false) root = root.parent_path();
    if (ec || !fs::is_directory(root / "var/mobile", ec) || fs::is_symlink(root / "var", ec)) return std::nullopt;
    return root.string();
}

std::string noDevice(const std::string& device) {
    return "no device at " + device + " (make one with: velmora-sim device create DIR)";
}

}  // namespace

std::optional<PackageChange> installPackage(const std::string& device, const std::string& packagePath,
                                            std::string* error) {
    auto root = deviceRoot(device);
    if (!root) return fail(error, noDevice(device));
    std::string why;
    auto lock = DeviceLock::acquire(*root, DeviceLock::Purpose::Install, &why);
    if (!lock) return fail(error, "cannot install into " + device + ": " + why + " (try again once it has stopped)");

    // A device from before dpkg: its database is made now and taken away
    // again if the install is refused, so the device stays as it was.
    const bool converting = !hasDpkgDatabase(*root);
    struct Undo {
        std::string database;
        ~Undo() {
            std::error_code ec;
            if (!database.empty()) fs::remove_all(database, ec);
        }
    } undo;
    if (converting) {
        undo.database = *root + "/" + kDpkgDirectory;
        if (fs::exists(undo.database)) return fail(error, device + "/" + kDpkgDirectory + " is there but holds no status");
        if (!createPlatformDatabase(*root, error)) return std::nullopt;
    }

    auto frontend = DpkgFrontendLock::acquire(*root, error);
    if (!frontend) return std::nullopt;
    std::error_code ec;
    const std::string package = fs::absolute(packagePath, ec).string();
    auto control = checkPackage(package, *root, error);
    if (!control) return std::nullopt;

    const auto installed = readInstalledPackages(*root);
    if (auto unmet = unmetDependency(control->depends, installed))
        return fail(error, "cannot install " + control->package + " " + control->version + " into " + device +
                               ": it depends on " + *unmet + ", which the device does not have");
    PackageChange change{control->package, control->version, {}, false};
    if (auto it = installed.find(control->package); it != installed.end()) {
        change.previousVersion = it->second.version;
        change.downgrade = compareVersions(change.version, "lt", change.previousVersion);
    }
    if (!runDpkg(*root, {"--install", package}, error)) return std::nullopt;

    if (converting) {
        undo.database.clear();
        fs::remove_all(fs::path(*root) / kOldRecordDirectory, ec);
    }
    return change;
}

std::optional<PackageChange> removePackage(const std::string& device, const std::string& package, std::string* error) {
    auto root = deviceRoot(device);
    if (!root) return fail(error, noDevice(device));
    std::string why;
    auto lock = DeviceLock::acquire(*root, DeviceLock::Purpose::Install, &why);
    if (!lock) return fail(error, "cannot remove from " + device + ": " + why + " (try again once it has stopped)");
    auto frontend = DpkgFrontendLock::acquire(*root, error);
    if (!frontend) return std::nullopt;
    const auto installed = readInstalledPackages(*root);
    auto it = installed.find(package);
    if (it == installed.end()) return fail(error, device + " has no package " + package + " installed");
    if (!runDpkg(*root, {"--remove", package}, error)) return std::nullopt;
    return PackageChange{package, it->second.version, it->second.version, false};
}

std::string describeChange(const PackageChange& change, const std::string& device, bool removed) {
    if (removed) return "removed " + change.package + " " + change.version + " from " + device;
    if (change.previousVersion.empty()) return "installed " + change.package + " " + change.version + " into " + device;
    if (change.previousVersion == change.version)
        return "reinstalled " + change.package + " " + change.version + " into " + device;
    return std::string(change.downgrade ? "downgraded " : "upgraded ") + change.package + " from " +
           change.previousVersion + " to " + change.version + " in " + device;
}

}  // namespace sim
