#include "DeviceState.h"

#include <filesystem>

#include "BuiltPackage.h"
#include "ClearDatabase.h"
#include "DpkgDatabase.h"
#include "PropertyList.h"

namespace fs = std::filesystem;

namespace sim {
namespace {

constexpr const char* kSpringBoard = "com.apple.springboard";

bool temporaryDevice = false;

std::string stringEntry(const Dictionary& dictionary, const char* key) {
    auto it = dictionary.find(key);
    return it != dictionary.end() ? it->second.stringValue().value_or(std::string()) : std::string();
}

}  // namespace

void setDeviceIsTemporary(bool temporary) {
    temporaryDevice = temporary;
    ClearDatabase::setSkipsSync(temporary);
}
bool deviceIsTemporary() { return temporaryDevice; }

std::string readFrontApplication(const std::string& device) {
    auto state = dictionaryWithContentsOfFile((fs::path(device) / kSimStateFile).string());
    std::string front = state ? stringEntry(*state, "frontApplication") : std::string();
    return front.empty() ? std::string(kSpringBoard) : front;
}

bool writeFrontApplication(const std::string& device, const std::string& identifier) {
    return writeToFile(Dictionary{{"frontApplication", Value(identifier)}}, (fs::path(device) / kSimStateFile).string(),
                       /*atomically=*/!temporaryDevice);
}

std::optional<std::string> packageWarning(const std::string& device) {
    auto builtSums = builtPackageMd5sums();
    if (!builtSums) return std::nullopt;
    const std::string update = " (velmora-sim device update " + device + " installs the build's)";
    const auto packages = readInstalledPackages(device);
    auto installed = packages.find(kPackageName);
    if (installed == packages.end()) return "this device has no Velmora package installed" + update;
    if (installed->second.version != builtPackageVersion())
        return "this device has Velmora " + installed->second.version + ", the build is " + builtPackageVersion() + update;
    if (installedMd5sums(device, kPackageName) != sortedLines(*builtSums))
        return "this device's Velmora " + installed->second.version + " differs from the build's package (rebuilt since)" +
               update;
    return std::nullopt;
}

}  // namespace sim
