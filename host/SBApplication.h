#pragma once

#include <optional>
#include <string>

#include "HostExport.h"

// SpringBoard's record of an installed application.
class HOST_API SBApplication {
public:
    virtual ~SBApplication();
    // The file-system path of the app's bundle directory.
    virtual std::optional<std::string> path() const = 0;
    // The app's bundle identifier.
    virtual std::optional<std::string> displayIdentifier() const = 0;
};
