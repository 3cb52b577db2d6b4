#pragma once

// Makes simulated device directories (the layout a device has, rooted at a
// directory): system apps, Clear and/or Clear+ in their own containers with
// Clear's database and preferences, the widget settings file, the installed
// deliverables, and the simulator's own state (the app in front).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

inline constexpr const char* kClearIdentifier = "com.realmacsoftware.clear";
inline constexpr const char* kClearPlusIdentifier = "com.realmacsoftware.clear.universal";
inline constexpr const char* kSpringBoardIdentifier = "com.apple.springboard";
inline constexpr const char* kSafariIdentifier = "com.apple.mobilesafari";

// Paths inside a device, relative to its root.
inline constexpr const char* kWidgetsDirectory = "Library/ProWidgets/Widgets";
inline constexpr const char* kDynamicLibrariesDirectory = "Library/MobileSubstrate/DynamicLibraries";
inline constexpr const char* kWidgetSettingsFile = "var/mobile/Library/Preferences/com.kelbrin.velmora.plist";
inline constexpr const char* kSimStateFile = "var/mobile/Library/Preferences/com.velmora.sim.plist";

struct DeviceOptions {
    bool clear = false;
    bool clearPlus = false;
    std::vector<std::string> lists;           // Clear's lists, in order
    std::optional<std::string> theme;         // Clear's "ThemeIdentifier"; none: no entry
    std::optional<std::string> defaultList;   // the widget settings' "defaultList"; none: no settings file
    std::string front = kSpringBoardIdentifier;  // bundle id of the app in front, or SpringBoard for home
};

// The built deliverables a device gets installed.
struct Artifacts {
    std::string widgetBundle;       // .../Velmora.widget (a directory)
    std::string companionLibrary;   // .../VLIPC.so
    std::string companionFilter;    // .../VLIPC.plist

    // Looks beside the running program (<exe dir>/../Velmora.widget,
    // <exe dir>/../lib/VLIPC.so and VLIPC.plist), or under $VELMORA_ARTIFACTS_DIR
    // (a build directory) when set; each file can also be named directly with
    // $VELMORA_WIDGET_BUNDLE, $VELMORA_COMPANION_LIBRARY, $VELMORA_COMPANION_FILTER.
    // Absent with `error` naming what is missing.
    static std::optional<Artifacts> locate(std::string* error);
};

// "A,B,C" → A, B, C. "\," is a comma inside a name and "\\" a backslash;
// blanks are kept as written; empty names are kept ("A,,B" has three).
// An empty string gives no names.
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
// directory. Built in a sibling directory first and renamed into place, so a
// failure leaves nothing behind. Returns false with `error` set on failure.
bool createDevice(const std::string& directory, const DeviceOptions& options, const Artifacts& artifacts,
                  std::string* error);

// The sample device `run` uses when given none: Clear with a handful of lists
// (one non-ASCII, one with "&"), a visible theme, a default list, Safari in front.
DeviceOptions sampleDeviceOptions();

// The simulator's own record of the app in front (SpringBoard when none).
std::string readFrontApplication(const std::string& device);
bool writeFrontApplication(const std::string& device, const std::string& identifier);

}  // namespace sim
