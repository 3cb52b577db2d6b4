#include "BuiltPackage.h"

#include <filesystem>
#include <system_error>

#include "FileDescriptor.h"

namespace fs = std::filesystem;

namespace sim {
namespace {

// Where the package and its md5sums are: the build directory, or
// PREFIX/share/velmora once the tools component is installed.
fs::path packageDirectory() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    fs::path top = ec ? fs::current_path(ec) : exe.parent_path().parent_path();
    if (fs::path installed = top / "share/velmora"; fs::is_regular_file(installed / VELMORA_PACKAGE_FILE_NAME, ec))
        return installed;
    return top;
}

}  // namespace

std::string builtPackageVersion() { return VELMORA_VERSION; }

std::optional<std::string> locateBuiltPackage(std::string* error) {
    std::error_code ec;
    fs::path package = packageDirectory() / VELMORA_PACKAGE_FILE_NAME;
    if (fs::is_regular_file(package, ec)) return package.string();
    if (error)
        *error = "cannot find the built package " + package.string() +
                 " (build it with make package, or name one with --package)";
    return std::nullopt;
}

std::optional<std::string> builtPackageMd5sums() {
    return springboard::readRegularFile((packageDirectory() / VELMORA_PACKAGE_MD5SUMS_NAME).string(), 16u << 20);
}

}  // namespace sim
