#pragma once

#include <memory>
#include <string>
#include <vector>

#include "HostExport.h"
#include "InstalledApplication.h"

// The apps installed on a device. Immutable once made; safe to query from
// any thread. The lookups are virtual so a test fake can override just one.
class HOST_API ApplicationRegistry {
public:
    // Scans DEVICE/Applications/*.app (system apps) and then
    // DEVICE/var/mobile/Applications/*/*.app (App Store apps), each level in
    // name order. An app is recorded when its Info.plist is a readable
    // property list with a string CFBundleIdentifier; its URL schemes are the
    // strings under CFBundleURLTypes[*].CFBundleURLSchemes (anything of
    // another shape there is ignored). Bundles without a usable Info.plist
    // are skipped. When two bundles claim the same identifier the first one
    // scanned wins. A missing directory is an empty registry, never an error.
    static std::shared_ptr<ApplicationRegistry> scan(const std::string& deviceRoot);

    // A registry of exactly these records, in this order.
    static std::shared_ptr<ApplicationRegistry> registryWithApplications(
        std::vector<std::shared_ptr<InstalledApplication>> applications);

    explicit ApplicationRegistry(std::vector<std::shared_ptr<InstalledApplication>> applications);
    virtual ~ApplicationRegistry();

    // The record with exactly that bundle identifier, or nullptr.
    virtual std::shared_ptr<InstalledApplication> applicationWithIdentifier(const std::string& identifier) const;

    // The first record (in scan order) declaring `scheme`, or nullptr.
    virtual std::shared_ptr<InstalledApplication> applicationForURLScheme(const std::string& scheme) const;

    const std::vector<std::shared_ptr<InstalledApplication>>& applications() const { return applications_; }

private:
    std::vector<std::shared_ptr<InstalledApplication>> applications_;
};
