#pragma once

// The code-injection loader (MobileSubstrate) as SpringBoard meets it: every
// library in a device's Library/MobileSubstrate/DynamicLibraries whose filter
// admits the process is loaded with dlopen, in name order, and stays loaded.
//
// A library X.so (or X.dylib) is filtered by X.plist beside it:
//   Filter → Bundles:     bundle identifiers, e.g. com.apple.springboard
//   Filter → Executables: executable names, e.g. SpringBoard
//   Filter → Mode:        "Any": one matching key is enough; otherwise every
//                         key given must match
// A library without a filter plist, or a plist without Filter, loads
// everywhere, as on a device. An unreadable filter loads nowhere.

#include <string>
#include <vector>

#include "Value.h"

namespace sim {

struct ProcessIdentity {
    std::string bundleIdentifier;  // "com.apple.springboard"
    std::string executableName;    // "SpringBoard"
};

// Whether a filter plist's root dictionary admits the process.
bool filterAdmits(const Dictionary& filterPlist, const ProcessIdentity& process);

struct LoadedLibrary {
    std::string name;        // file name, e.g. "VLIPC.so"
    bool admitted = false;   // the filter let it in
    bool loaded = false;     // dlopen succeeded
    std::string error;       // dlopen's message when it failed
};

// Loads what the filters admit from `directory`. Missing directory: nothing.
// The constructors of loaded libraries run before this returns.
std::vector<LoadedLibrary> loadDynamicLibraries(const std::string& directory, const ProcessIdentity& process);

}  // namespace sim
