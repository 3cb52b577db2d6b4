#include "DeviceBuilder.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include <unistd.h>

#include "AtomicFile.h"
#include "ClearDatabase.h"
#include "DeviceState.h"
#include "PlistCodec.h"
#include "PropertyList.h"

namespace fs = std::filesystem;

namespace sim {
namespace {

std::uint64_t fnv1a(std::string_view text, std::uint64_t seed) {
    std::uint64_t hash = seed;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

struct SystemApp {
    const char* directory;
    const char* identifier;
    const char* name;
    const char* scheme;  // may be nullptr
};

constexpr SystemApp kSystemApps[] = {
    {"MobileSafari.app", kSafariIdentifier, "Safari", "http"},
    {"MobileNotes.app", "com.apple.mobilenotes", "Notes", nullptr},
    {"MobileMail.app", "com.apple.mobilemail", "Mail", "mailto"},
};

// The themes the Clear app offers; any other ThemeIdentifier is one Clear
// itself would never store.
constexpr const char* kClearThemes[] = {
    "THEME_WARMTH_ID",      "THEME_GRAPHITE_ID",   "THEME_PINK_ID",       "THEME_GREEN_ID",
    "THEME_NOIR_ID",        "THEME_MAGNIFICENT_ID", "THEME_5C_BLUE_ID",   "THEME_5C_YELLOW_ID",
    "THEME_SCORCHED_ID",    "THEME_SOCIAL_ID",     "THEME_NIGHT_OWL_ID",  "THEME_LOYALTY_ID",
    "THEME_GIFTED_ID",      "THEME_TWEETBOT_ID",   "THEME_PATH_ID",       "THEME_BUMPY_ROAD_ID",
    "THEME_HEIST_ID",       "THEME_TEMPLE_RUN_ID", "THEME_LETTERPRESS_ID", "THEME_CLOUDY_ID",
    "THEME_ANALOG_ID",      "THEME_VANILLA_ID",
};

Dictionary infoPlist(const std::string& identifier, const std::string& name, const char* executable,
                     const char* scheme) {
    Dictionary info{
        {"CFBundleIdentifier", Value(identifier)},
        {"CFBundleDisplayName", Value(name)},
        {"CFBundleName", Value(name)},
        {"CFBundleExecutable", Value(executable)},
        {"CFBundlePackageType", Value("APPL")},
    };
    if (scheme)
        info["CFBundleURLTypes"] = Value(Array{Value(Dictionary{
            {"CFBundleURLName", Value(identifier)}, {"CFBundleURLSchemes", Value(Array{Value(scheme)})}})});
    return info;
}

// Each step of building a device; any failure sets `error` and stops.
class Builder {
public:
    Builder(fs::path root, std::string* error) : root_(std::move(root)), error_(error) {}

    bool directory(const fs::path& relative) {
        std::error_code ec;
        fs::create_directories(root_ / relative, ec);
        return ec ? fail("cannot create " + (root_ / relative).string() + ": " + ec.message()) : true;
    }

    bool plist(const fs::path& relative, const Dictionary& root) {
        if (!directory(relative.parent_path())) return false;
        return writeToFile(root, (root_ / relative).string(), /*atomically=*/true)
                   ? true
                   : fail("cannot write " + (root_ / relative).string());
    }

    // A device keeps app preferences as binary property lists.
    bool binaryPlist(const fs::path& relative, const Dictionary& root) {
        if (!directory(relative.parent_path())) return false;
        const std::string bytes = springboard::binaryPropertyList(Value(root));
        return !bytes.empty() && springboard::writeFileAtomically((root_ / relative).string(), bytes)
                   ? true
                   : fail("cannot write " + (root_ / relative).string());
    }

    bool clearApp(const std::string& identifier, const std::string& name, const DeviceOptions& options) {
        fs::path container = fs::path("var/mobile/Applications") / containerUUID(identifier);
        if (!plist(container / "Clear.app/Info.plist", infoPlist(identifier, name, "Clear", "clearapp"))) return false;
        Dictionary preferences;
        if (options.theme) preferences["ThemeIdentifier"] = Value(*options.theme);
        if (!binaryPlist(container / "Library/Preferences/com.realmacsoftware.clear.plist", preferences)) return false;
        fs::path database = ClearDatabase::pathInContainer((root_ / container).string());
        if (!directory(fs::relative(database.parent_path(), root_))) return false;
        std::string message;
        auto db = ClearDatabase::open(database.string(), /*create=*/true, &message);
        if (!db) return fail(message);
        for (const auto& title : options.lists)
            if (!db->addList(title)) return fail("cannot add list \"" + title + "\" to " + database.string());
        return true;
    }

    bool fail(const std::string& message) {
        if (error_) *error_ = message;
        return false;
    }

private:
    fs::path root_;
    std::string* error_;
};

bool isInstalled(const DeviceOptions& options, const std::string& identifier) {
    if (identifier == kSpringBoardIdentifier) return true;
    if (identifier == kClearIdentifier) return options.clear;
    if (identifier == kClearPlusIdentifier) return options.clearPlus;
    for (const auto& app : kSystemApps)
        if (identifier == app.identifier) return true;
    return false;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The outermost folder above `path` that does not exist yet (empty when its
// parent exists): what a failed create must take away again.
fs::path firstMissingAncestor(const fs::path& path) {
    std::error_code ec;
    fs::path missing;
    for (fs::path folder = path.parent_path(); !folder.empty() && !fs::exists(folder, ec); folder = folder.parent_path()) {
        missing = folder;
        if (folder == folder.parent_path()) break;
    }
    return missing;
}

}  // namespace

std::vector<std::string> splitListNames(std::string_view text) {
    std::vector<std::string> names;
    if (text.empty()) return names;
    std::string current;
    std::size_t keep = 0;  // length up to the last escaped character, which trimming keeps
    auto finish = [&] {
        std::size_t end = current.size();
        while (end > keep && isBlank(current[end - 1])) --end;
        current.resize(end);
        names.push_back(std::move(current));
        current.clear();
        keep = 0;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\\' && i + 1 < text.size() && (text[i + 1] == ',' || text[i + 1] == '\\')) {
            current += text[++i];
            keep = current.size();
        } else if (c == ',') {
            finish();
        } else if (!(isBlank(c) && current.empty())) {
            current += c;
        }
    }
    finish();
    return names;
}

std::string containerUUID(const std::string& bundleIdentifier) {
    std::uint64_t high = fnv1a(bundleIdentifier, 0xcbf29ce484222325ULL);
    std::uint64_t low = fnv1a(bundleIdentifier, high ^ 0x9e3779b97f4a7c15ULL);
    char text[37];
    std::snprintf(text, sizeof text, "%08X-%04X-%04X-%04X-%012llX", static_cast<unsigned>(high >> 32),
                  static_cast<unsigned>((high >> 16) & 0xffff), static_cast<unsigned>(high & 0xffff),
                  static_cast<unsigned>(low >> 48), static_cast<unsigned long long>(low & 0xffffffffffffULL));
    return text;
}

std::string containerDirectory(const std::string& device, const std::string& bundleIdentifier) {
    return (fs::path(device) / "var/mobile/Applications" / containerUUID(bundleIdentifier)).string();
}

std::optional<std::string> checkDeviceRequest(const std::string& directory, const DeviceOptions& options) {
    if (!isInstalled(options, options.front)) return "--front " + options.front + ": no such app on this device";
    std::error_code ec;
    fs::path target = fs::absolute(directory, ec);
    if (fs::exists(target, ec) && !(fs::is_directory(target, ec) && fs::is_empty(target, ec)))
        return directory + " already exists and is not an empty directory";
    return std::nullopt;
}

std::vector<std::string> deviceRequestWarnings(const DeviceOptions& options) {
    std::vector<std::string> warnings;
    if (std::find(options.lists.begin(), options.lists.end(), "") != options.lists.end())
        warnings.push_back("--lists: an empty list name (from \",,\" or a trailing comma) is kept as a list");
    if (!options.lists.empty() && !options.clear && !options.clearPlus)
        warnings.push_back("--lists without --clear or --clear-plus: no app holds them, so none are made");
    if (options.theme && std::none_of(std::begin(kClearThemes), std::end(kClearThemes),
                                      [&](const char* theme) { return *options.theme == theme; }))
        warnings.push_back("--theme " + *options.theme + ": not one of Clear's themes (the widget shows the default colours)");
    if (options.defaultList &&
        std::find(options.lists.begin(), options.lists.end(), *options.defaultList) == options.lists.end())
        warnings.push_back("--default-list \"" + *options.defaultList + "\" is not among the lists");
    return warnings;
}

std::optional<PackageChange> createDevice(const std::string& directory, const DeviceOptions& options,
                                             const std::string& packagePath, std::string* error) {
    auto fail = [&](const std::string& message) -> std::optional<PackageChange> {
        if (error) *error = message;
        return std::nullopt;
    };
    if (auto problem = checkDeviceRequest(directory, options)) return fail(*problem);

    std::error_code ec;
    fs::path target = fs::absolute(directory, ec).lexically_normal();
    if (target.filename().empty()) target = target.parent_path();
    const fs::path madeParents = firstMissingAncestor(target);
    fs::path staging = target.parent_path() / (target.filename().string() + ".partial-" + std::to_string(::getpid()));
    fs::remove_all(staging, ec);
    Builder build(staging, error);
    auto cleanUp = [&]() -> std::optional<PackageChange> {
        std::error_code ignored;
        fs::remove_all(staging, ignored);
        if (!madeParents.empty()) fs::remove_all(madeParents, ignored);
        return std::nullopt;
    };

    if (!build.directory("var/mobile/Library/Preferences")) return cleanUp();
    for (const auto& app : kSystemApps)
        if (!build.plist(fs::path("Applications") / app.directory / "Info.plist",
                         infoPlist(app.identifier, app.name, app.name, app.scheme)))
            return cleanUp();
    if (options.clear && !build.clearApp(kClearIdentifier, "Clear", options)) return cleanUp();
    if (options.clearPlus && !build.clearApp(kClearPlusIdentifier, "Clear+", options)) return cleanUp();
    if (options.defaultList &&
        !build.plist(kWidgetSettingsFile, Dictionary{{"defaultList", Value(*options.defaultList)}}))
        return cleanUp();
    if (!writeFrontApplication(staging.string(), options.front))
        return build.fail("cannot write " + (staging / kSimStateFile).string()), cleanUp();

    auto installed = installPackage(staging.string(), packagePath, error);
    if (!installed) return cleanUp();

    if (fs::exists(target, ec)) fs::remove(target, ec);  // the empty directory it replaces
    fs::rename(staging, target, ec);
    if (ec) {
        std::string message = "cannot create " + directory + ": " + ec.message();
        cleanUp();
        return fail(message);
    }
    return installed;
}

DeviceOptions sampleDeviceOptions() {
    DeviceOptions options;
    options.clear = true;
    options.lists = {"Groceries", "Work", "Café ☕", "Bread & Butter", "Weekend"};
    options.theme = "THEME_LETTERPRESS_ID";
    options.defaultList = "Groceries";
    options.front = kSafariIdentifier;
    return options;
}

}  // namespace sim
