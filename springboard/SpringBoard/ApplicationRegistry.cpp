#include "ApplicationRegistry.h"

#include <algorithm>
#include <filesystem>
#include <set>

#include "PropertyList.h"

namespace fs = std::filesystem;

namespace {

// The entries of `directory` (sorted by name) that satisfy `keep`; nothing
// when the directory is missing or unreadable.
template <class Keep>
std::vector<fs::path> sortedEntries(const fs::path& directory, Keep keep) {
    std::vector<fs::path> entries;
    std::error_code error;
    fs::directory_iterator it(directory, error);
    if (error) return entries;
    for (const fs::directory_iterator end; it != end; it.increment(error)) {
        if (error) break;
        std::error_code typeError;
        if (it->is_directory(typeError) && keep(it->path())) entries.push_back(it->path());
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

bool isAppBundle(const fs::path& path) { return path.extension() == ".app"; }

std::vector<std::string> urlSchemesOf(const Dictionary& info) {
    std::vector<std::string> schemes;
    const auto types = info.find("CFBundleURLTypes");
    if (types == info.end() || !types->second.asArray()) return schemes;
    for (const Value& type : *types->second.asArray()) {
        const Dictionary* entry = type.asDictionary();
        if (!entry) continue;
        const auto list = entry->find("CFBundleURLSchemes");
        if (list == entry->end() || !list->second.asArray()) continue;
        for (const Value& scheme : *list->second.asArray())
            if (const auto name = scheme.asString(); name && !name->empty()) schemes.emplace_back(*name);
    }
    return schemes;
}

std::shared_ptr<InstalledApplication> readBundle(const fs::path& bundle) {
    const auto info = dictionaryWithContentsOfFile((bundle / "Info.plist").string());
    if (!info) return nullptr;
    const auto identifier = info->find("CFBundleIdentifier");
    if (identifier == info->end() || !identifier->second.asString() || identifier->second.asString()->empty())
        return nullptr;
    return std::make_shared<InstalledApplication>(bundle.string(), *identifier->second.stringValue(), urlSchemesOf(*info));
}

}  // namespace

std::shared_ptr<ApplicationRegistry> ApplicationRegistry::scan(const std::string& deviceRoot) {
    const fs::path root(deviceRoot);
    std::vector<fs::path> bundles = sortedEntries(root / "Applications", isAppBundle);
    for (const auto& container : sortedEntries(root / "var/mobile/Applications", [](const fs::path&) { return true; }))
        for (const auto& bundle : sortedEntries(container, isAppBundle)) bundles.push_back(bundle);

    std::vector<std::shared_ptr<InstalledApplication>> applications;
    std::set<std::string> identifiers;
    for (const auto& bundle : bundles) {
        auto application = readBundle(bundle);
        if (application && identifiers.insert(application->identifier()).second)
            applications.push_back(std::move(application));
    }
    return registryWithApplications(std::move(applications));
}

std::shared_ptr<ApplicationRegistry> ApplicationRegistry::registryWithApplications(
    std::vector<std::shared_ptr<InstalledApplication>> applications) {
    return std::make_shared<ApplicationRegistry>(std::move(applications));
}

ApplicationRegistry::ApplicationRegistry(std::vector<std::shared_ptr<InstalledApplication>> applications)
    : applications_(std::move(applications)) {
    std::erase(applications_, nullptr);
}

ApplicationRegistry::~ApplicationRegistry() = default;

std::shared_ptr<InstalledApplication> ApplicationRegistry::applicationWithIdentifier(
    const std::string& identifier) const {
    for (const auto& application : applications_)
        if (application->identifier() == identifier) return application;
    return nullptr;
}

std::shared_ptr<InstalledApplication> ApplicationRegistry::applicationForURLScheme(const std::string& scheme) const {
    for (const auto& application : applications_)
        if (application->opensURLScheme(scheme)) return application;
    return nullptr;
}
