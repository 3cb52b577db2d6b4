#pragma once

#include <memory>
#include <optional>
#include <string>

#include "PWWidget.h"
#include "Value.h"

// A loaded widget bundle (the format and the symbols its executable exports
// are in PWWidgetEntry.h). Loading reads Info.plist, dlopens the executable,
// checks its symbols, lets it register its classes and checks that the
// principal class is a registered widget class. The executable stays loaded
// for the rest of the process, as code a device has loaded does.
class PWWidgetBundle {
public:
    // The bundle at `path`, or nullptr with `error` set to one line naming
    // the first problem (missing directory, unreadable or incomplete
    // Info.plist, wrong PWInfoType, missing executable, dlopen's own message,
    // a missing required symbol by name, a failed load function, an
    // unregistered principal class).
    static std::shared_ptr<PWWidgetBundle> load(const std::string& path, std::string& error);

    const std::string& bundlePath() const { return bundlePath_; }
    const Dictionary& infoDictionary() const { return info_; }
    const std::string& principalClassName() const { return principalClass_; }
    const std::string& executablePath() const { return executablePath_; }
    // PWInfoDisplayName, else CFBundleName, else the directory's name.
    const std::string& displayName() const { return displayName_; }

    // A new instance of the principal class, not yet configured or loaded;
    // nullptr with `error` set when the class is gone or makes no widget.
    std::shared_ptr<PWWidget> createWidget(std::string& error) const;

private:
    PWWidgetBundle() = default;

    std::string bundlePath_;
    Dictionary info_;
    std::string principalClass_;
    std::string executablePath_;
    std::string displayName_;
};
