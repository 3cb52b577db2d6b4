#pragma once

// The widget's own settings file under the user's home directory: the reader
// keeps the saved Clear path there, and the widget reads the default list
// from it. One name, so both always look at the same file.

#include <string>

#include "NSPathUtilities.h"
#include "NSString.h"

inline std::string VLSettingsFilePath() {
    return stringByAppendingPathComponent(NSHomeDirectory(), "/Library/Preferences/com.kelbrin.velmora.plist");
}
