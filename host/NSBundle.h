#pragma once

#include <memory>
#include <optional>
#include <string>

#include "HostExport.h"

// A bundle: a directory of code and resources.
class HOST_API NSBundle {
public:
    // The bundle at `path`: present when `path` names a directory (a trailing
    // separator is dropped), absent for no path or anything else.
    static std::shared_ptr<NSBundle> bundleWithPath(const std::optional<std::string>& path);

    const std::string& bundlePath() const { return bundlePath_; }

    // The directory holding the bundle's resources. For an application or
    // widget bundle that is the bundle directory itself.
    std::optional<std::string> resourcePath() const { return bundlePath_; }

    // The path of resource `name`.`type` in the resource directory, when such
    // a file exists.
    std::optional<std::string> pathForResource(const std::string& name, const std::string& type) const;

    explicit NSBundle(std::string bundlePath) : bundlePath_(std::move(bundlePath)) {}

private:
    std::string bundlePath_;
};
