#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "SBApplication.h"

// SpringBoard's record of one installed app bundle. Immutable, so records
// can be handed to any thread.
class HOST_API InstalledApplication final : public SBApplication {
public:
    InstalledApplication(std::string bundlePath, std::string identifier, std::vector<std::string> urlSchemes);

    std::optional<std::string> path() const override { return bundlePath_; }
    std::optional<std::string> displayIdentifier() const override { return identifier_; }

    const std::string& bundlePath() const { return bundlePath_; }
    const std::string& identifier() const { return identifier_; }
    // The URL schemes the app declares, as written in its Info.plist.
    const std::vector<std::string>& urlSchemes() const { return urlSchemes_; }

    // Whether the app declares `scheme`; schemes compare without regard to
    // ASCII letter case, as URL schemes do.
    bool opensURLScheme(const std::string& scheme) const;

private:
    std::string bundlePath_;
    std::string identifier_;
    std::vector<std::string> urlSchemes_;
};
