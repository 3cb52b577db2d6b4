#pragma once

// The package this build made, which devices get installed: the build
// directory's velmora_<version>_<arch>.deb, found beside the running program
// (<exe dir>/../).

#include <optional>
#include <string>

namespace sim {

inline constexpr const char* kPackageName = "com.kelbrin.velmora";

// The version project() gives the build.
std::string builtPackageVersion();

// The path of the build's package; absent with `error` saying what to do
// when it is not there.
std::optional<std::string> locateBuiltPackage(std::string* error);

}  // namespace sim
