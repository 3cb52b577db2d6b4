#include <dlfcn.h>

#include <filesystem>
#include <system_error>

#include "PackageCheck.h"

namespace fs = std::filesystem;

namespace sim {
namespace {

constexpr const char* kModuleName = "velmora-packagecheck.so";

// Loaded once; the module stays for the life of the process.
PackageCheckFunction loadCheck(std::string* why) {
    static PackageCheckFunction check = nullptr;
    if (check) return check;
    std::error_code ec;
    const fs::path lib = fs::read_symlink("/proc/self/exe", ec).parent_path().parent_path() / "lib";
    // Installed (the tools component), the module sits with the libraries
    // the program links, in lib/velmora; in the build, in lib.
    fs::path path = lib / "velmora" / kModuleName;
    if (!fs::exists(path, ec)) path = lib / kModuleName;
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) module = dlopen(kModuleName, RTLD_NOW | RTLD_LOCAL);
    if (module) check = reinterpret_cast<PackageCheckFunction>(dlsym(module, kPackageCheckSymbol));
    if (!check) {
        const char* text = dlerror();
        *why = std::string("cannot load the package check ") + path.string() + ": " + (text ? text : "no entry point");
    }
    return check;
}

}  // namespace

std::optional<PackageControl> checkPackage(const std::string& path, const std::string& device, std::string* error) {
    std::string why;
    PackageCheckFunction check = loadCheck(&why);
    PackageControl control;
    if (!check) {
        if (error) *error = why;
        return std::nullopt;
    }
    if (!check(path, device, &control, error)) return std::nullopt;
    return control;
}

}  // namespace sim
