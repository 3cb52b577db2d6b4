#include "Loader.h"

#include <dlfcn.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "PropertyList.h"

namespace fs = std::filesystem;

namespace sim {
namespace {

bool arrayContains(const Value& array, const std::string& wanted) {
    const Array* items = array.asArray();
    if (!items) return false;
    return std::any_of(items->begin(), items->end(), [&](const Value& v) { return v.asString() && *v.asString() == wanted; });
}

}  // namespace

bool filterAdmits(const Dictionary& filterPlist, const ProcessIdentity& process) {
    auto filterIt = filterPlist.find("Filter");
    if (filterIt == filterPlist.end()) return true;
    const Dictionary* filter = filterIt->second.asDictionary();
    if (!filter) return false;

    std::vector<bool> matches;
    if (auto it = filter->find("Bundles"); it != filter->end())
        matches.push_back(arrayContains(it->second, process.bundleIdentifier));
    if (auto it = filter->find("Executables"); it != filter->end())
        matches.push_back(arrayContains(it->second, process.executableName));
    if (matches.empty()) return true;

    bool any = false;
    if (auto it = filter->find("Mode"); it != filter->end() && it->second.asString())
        any = *it->second.asString() == "Any";
    return any ? std::find(matches.begin(), matches.end(), true) != matches.end()
               : std::find(matches.begin(), matches.end(), false) == matches.end();
}

std::vector<LoadedLibrary> loadDynamicLibraries(const std::string& directory, const ProcessIdentity& process) {
    std::vector<fs::path> libraries;
    std::error_code ec;
    for (fs::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& path = it->path();
        if ((path.extension() == ".so" || path.extension() == ".dylib") && it->is_regular_file(ec))
            libraries.push_back(path);
    }
    std::sort(libraries.begin(), libraries.end());

    std::vector<LoadedLibrary> results;
    for (const auto& path : libraries) {
        LoadedLibrary result;
        result.name = path.filename().string();
        fs::path filterPath = fs::path(path).replace_extension(".plist");
        if (fs::exists(filterPath, ec)) {
            auto filter = dictionaryWithContentsOfFile(filterPath.string());
            result.admitted = filter && filterAdmits(*filter, process);
        } else {
            result.admitted = true;
        }
        if (result.admitted) {
            // Never closed: code a device has injected stays for the process's life.
            void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
            result.loaded = handle != nullptr;
            if (!handle) {
                const char* message = ::dlerror();
                result.error = message ? message : "dlopen failed";
            }
        }
        results.push_back(std::move(result));
    }
    return results;
}

}  // namespace sim
