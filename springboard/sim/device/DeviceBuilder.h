#pragma once

// Makes simulated device directories (the layout a device has, rooted at a
// directory): system apps, Clear and/or Clear+ in their own containers with
// Clear's database and preferences, the widget settings file and the
// simulator's own state (the app in front); the deliverables come from
// installing a Velmora package into it.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "DevicePackages.h"

namespace sim {

inline constexpr const char* kClearIdentifier = "com.realmacsoftware.clear";
inline constexpr const char* kClearPlusIdentifier = "com.realmacsoftware.clear.universal";
inline constexpr const char* kSpringBoardIdentifier = "com.apple.springboard";
inline constexpr const char* kSafariIdentifier = "com.apple.mobilesafari";

// Paths inside a device, relative to its root.
inline constexpr const char* kWidgetsDirectory = "Library/ProWidgets/Widgets";
inline constexpr const char* kDynamicLibrariesDirectory = "Library/MobileSubstrate/DynamicLibraries";
inline constexpr const char* kWidgetSettingsFile = "var/mobile/Library/Preferences/com.kelbrin.velmora.plist";

struct DeviceOptions {
    bool clear = false;
    bool clearPlus = false;
    std::vector<std::string> lists;           // Clear's lists, in order
    std::optional<std::string> theme;         // Clear's "ThemeIdentifier"; none: no entry
    std::optional<std::string> defaultList;   // the widget settings' "defaultList"; none: no settings file
    std::string front = kSpringBoardIdentifier;  // bundle id of the app in front, or SpringBoard for home
};

// "A,B,C" → A, B, C. "\," is a comma inside a name and "\\" a backslash;
// blanks around a name are dropped ("A , B" is A and B); empty names are
// kept ("A,,B" has three). An empty string gives no names.
std::vector<std::string> splitListNames(std::string_view text);

// The container UUID an App Store app gets on every device this tool makes:
// derived from the bundle identifier, upper-case, 8-4-4-4-12.
std::string containerUUID(const std::string& bundleIdentifier);

// DEVICE/var/mobile/Applications/<UUID> for that app.
std::string containerDirectory(const std::string& device, const std::string& bundleIdentifier);

// Why a device cannot be made at `directory` with `options` (the directory
// is taken, the app to put in front is not installed), or nothing.
std::optional<std::string> checkDeviceRequest(const std::string& directory, const DeviceOptions& options);

// Makes the device at `directory`, which must not exist or be an empty
// directory, and installs the package at `packagePath` into it. Built in a
// sibling directory first and renamed into place, so a failure leaves
// nothing behind (parent directories it had to make included). The device's
// dpkg database lists the platform packages it has, then the installed
// package. Returns what was installed, or nothing with `error` set.
std::optional<PackageChange> createDevice(const std::string& directory, const DeviceOptions& options,
                                             const std::string& packagePath, std::string* error);

// What is odd about a device request though it can be made: an empty list
// name, lists with no Clear to hold them, a theme Clear does not have, a
// default list that is not among the lists. One line each.
std::vector<std::string> deviceRequestWarnings(const DeviceOptions& options);

// The sample device `run` uses when given none: Clear with a handful of lists
// (one non-ASCII, one with "&"), a visible theme, a default list, Safari in front.
DeviceOptions sampleDeviceOptions();

}  // namespace sim
