#pragma once

// The package this build made, which devices get installed: the build
// directory's velmora_<version>_<arch>.deb, found beside the running program
// (<exe dir>/../, or <exe dir>/../share/velmora once the tools component is
// installed), with the md5sums of its files the build wrote beside it.

#include <optional>
#include <string>

namespace sim {

inline constexpr const char* kPackageName = "com.kelbrin.velmora";

// The version project() gives the build.
std::string builtPackageVersion();

// The path of the build's package; absent with `error` saying what to do
// when it is not there.
std::optional<std::string> locateBuiltPackage(std::string* error);

// The md5sums of the build's package, as dpkg keeps them once it is
// installed; absent when the build has none.
std::optional<std::string> builtPackageMd5sums();

}  // namespace sim
