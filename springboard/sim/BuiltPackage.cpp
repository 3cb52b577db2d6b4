#include "BuiltPackage.h"

#include <filesystem>
#include <system_error>

#include "FileDescriptor.h"

namespace fs = std::filesystem;

namespace sim {
namespace {

fs::path buildDirectory() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::current_path(ec) : exe.parent_path().parent_path();
}

}  // namespace

std::string builtPackageVersion() { return VELMORA_VERSION; }

std::optional<std::string> locateBuiltPackage(std::string* error) {
    std::error_code ec;
    fs::path package = buildDirectory() / VELMORA_PACKAGE_FILE_NAME;
    if (fs::is_regular_file(package, ec)) return package.string();
    if (error)
        *error = "cannot find the built package " + package.string() +
                 " (build it with make package, or name one with --package)";
    return std::nullopt;
}

std::optional<std::string> builtPackageMd5sums() {
    return springboard::readRegularFile((buildDirectory() / VELMORA_PACKAGE_MD5SUMS_NAME).string(), 16u << 20);
}

}  // namespace sim
