#include "DeviceState.h"

#include <filesystem>

#include "BuiltPackage.h"
#include "DebianPackage.h"
#include "PropertyList.h"

namespace fs = std::filesystem;

namespace sim {
namespace {

constexpr const char* kSpringBoard = "com.apple.springboard";

std::string stringEntry(const Dictionary& dictionary, const char* key) {
    auto it = dictionary.find(key);
    return it != dictionary.end() ? it->second.stringValue().value_or(std::string()) : std::string();
}

}  // namespace

std::string readFrontApplication(const std::string& device) {
    auto state = dictionaryWithContentsOfFile((fs::path(device) / kSimStateFile).string());
    std::string front = state ? stringEntry(*state, "frontApplication") : std::string();
    return front.empty() ? std::string(kSpringBoard) : front;
}

bool writeFrontApplication(const std::string& device, const std::string& identifier) {
    return writeToFile(Dictionary{{"frontApplication", Value(identifier)}}, (fs::path(device) / kSimStateFile).string(),
                       /*atomically=*/true);
}

std::optional<InstalledPackage> readInstalledPackage(const std::string& device) {
    auto status = dictionaryWithContentsOfFile((fs::path(device) / kPackageStatusFile).string());
    if (!status) return std::nullopt;
    InstalledPackage installed;
    installed.package = stringEntry(*status, "Package");
    installed.version = stringEntry(*status, "Version");
    installed.architecture = stringEntry(*status, "Architecture");
    installed.digest = stringEntry(*status, "Digest");
    if (installed.package.empty() || installed.version.empty()) return std::nullopt;
    if (auto it = status->find("Files"); it != status->end() && it->second.asArray())
        for (const Value& file : *it->second.asArray())
            if (auto name = file.stringValue()) installed.files.push_back(std::move(*name));
    return installed;
}

bool writeInstalledPackage(const std::string& device, const InstalledPackage& installed) {
    Array files;
    for (const auto& file : installed.files) files.push_back(Value(file));
    Dictionary status{
        {"Package", Value(installed.package)},   {"Version", Value(installed.version)},
        {"Architecture", Value(installed.architecture)}, {"Digest", Value(installed.digest)},
        {"Files", Value(std::move(files))},
    };
    return writeToFile(status, (fs::path(device) / kPackageStatusFile).string(), /*atomically=*/true);
}

std::optional<std::string> packageWarning(const std::string& device) {
    auto built = locateBuiltPackage(nullptr);
    if (!built) return std::nullopt;
    const std::string update = " (velmora-sim device update " + device + " installs the build's)";
    auto installed = readInstalledPackage(device);
    if (!installed) return "this device has no Velmora package installed" + update;
    if (installed->version != builtPackageVersion())
        return "this device has Velmora " + installed->version + ", the build is " + builtPackageVersion() + update;
    auto package = DebianPackage::open(*built, nullptr);
    if (!package) return std::nullopt;
    std::string digest = package->contentDigest(nullptr);
    if (!digest.empty() && digest != installed->digest)
        return "this device's Velmora " + installed->version + " differs from the build's package (rebuilt since)" + update;
    return std::nullopt;
}

}  // namespace sim
