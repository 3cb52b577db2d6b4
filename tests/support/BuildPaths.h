#pragma once

#include <cstdlib>
#include <string>

// The build directory the tests belong to: VELMORA_BUILD_DIR from the
// environment (ctest sets it), else the one this test was compiled for, so a
// test binary also runs by hand.
inline std::string buildDirectory() {
    if (const char* fromEnvironment = std::getenv("VELMORA_BUILD_DIR"); fromEnvironment && *fromEnvironment)
        return fromEnvironment;
#ifdef VELMORA_BUILD_DIR
    return VELMORA_BUILD_DIR;
#else
    return {};
#endif
}
