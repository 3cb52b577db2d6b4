#include "BuiltPackage.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace sim {

std::string builtPackageVersion() { return VELMORA_VERSION; }

std::optional<std::string> locateBuiltPackage(std::string* error) {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    fs::path package = (ec ? fs::current_path() : exe.parent_path().parent_path()) / VELMORA_PACKAGE_FILE_NAME;
    if (fs::is_regular_file(package, ec)) return package.string();
    if (error)
        *error = "cannot find the built package " + package.string() +
                 " (build it with make package, or name one with --package)";
    return std::nullopt;
}

}  // namespace sim
