#include "DeviceBuilder.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <unistd.h>

#include "ClearDatabase.h"
#include "PlistFile.h"

namespace fs = std::filesystem;

namespace sim {
namespace {

using nlohmann::json;

std::uint64_t fnv1a(std::string_view text, std::uint64_t seed) {
    std::uint64_t hash = seed;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

std::optional<std::string> environment(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value) return std::nullopt;
    return std::string(value);
}

fs::path executableDirectory() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::current_path() : exe.parent_path();
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

json infoPlist(const std::string& identifier, const std::string& name, const char* executable,
               const char* scheme) {
    json info = {
        {"CFBundleIdentifier", identifier},
        {"CFBundleDisplayName", name},
        {"CFBundleName", name},
        {"CFBundleExecutable", executable},
        {"CFBundlePackageType", "APPL"},
    };
    if (scheme)
        info["CFBundleURLTypes"] =
            json::array({{{"CFBundleURLName", identifier}, {"CFBundleURLSchemes", json::array({scheme})}}});
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

    bool plist(const fs::path& relative, const json& root, PlistFormat format) {
        if (!directory(relative.parent_path())) return false;
        std::string message;
        return writePlistFile((root_ / relative).string(), root, format, &message) ? true : fail(message);
    }

    bool copy(const fs::path& from, const fs::path& relative) {
        if (!directory(relative.parent_path())) return false;
        std::error_code ec;
        fs::copy(from, root_ / relative, fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
        return ec ? fail("cannot copy " + from.string() + ": " + ec.message()) : true;
    }

    bool clearApp(const std::string& identifier, const std::string& name, const DeviceOptions& options) {
        fs::path container = fs::path("var/mobile/Applications") / containerUUID(identifier);
        if (!plist(container / "Clear.app/Info.plist", infoPlist(identifier, name, "Clear", "clearapp"),
                   PlistFormat::XML))
            return false;
        // A device keeps app preferences as binary property lists.
        json preferences = json::object();
        if (options.theme) preferences["ThemeIdentifier"] = *options.theme;
        if (!plist(container / "Library/Preferences/com.realmacsoftware.clear.plist", preferences,
                   PlistFormat::Binary))
            return false;
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

}  // namespace

std::optional<Artifacts> Artifacts::locate(std::string* error) {
    fs::path build = environment("VELMORA_ARTIFACTS_DIR").value_or((executableDirectory() / "..").string());
    Artifacts artifacts;
    artifacts.widgetBundle = environment("VELMORA_WIDGET_BUNDLE").value_or((build / "Velmora.widget").string());
    artifacts.companionLibrary =
        environment("VELMORA_COMPANION_LIBRARY").value_or((build / "lib" / "VLIPC.so").string());
    artifacts.companionFilter = environment("VELMORA_COMPANION_FILTER").value_or([&] {
        for (const fs::path& candidate : {build / "lib" / "VLIPC.plist", build / "VLIPC.plist"})
            if (fs::exists(candidate)) return candidate.string();
        return (build / "lib" / "VLIPC.plist").string();
    }());

    std::error_code ec;
    for (const auto& [path, isDirectory] : {std::pair{artifacts.widgetBundle, true},
                                            std::pair{artifacts.companionLibrary, false},
                                            std::pair{artifacts.companionFilter, false}}) {
        bool ok = isDirectory ? fs::is_directory(path, ec) : fs::is_regular_file(path, ec);
        if (!ok) {
            if (error)
                *error = "cannot find the built " + fs::path(path).filename().string() + " at " + path +
                         " (build it, or set VELMORA_ARTIFACTS_DIR to the build directory)";
            return std::nullopt;
        }
    }
    return artifacts;
}

std::vector<std::string> splitListNames(std::string_view text) {
    std::vector<std::string> names;
    if (text.empty()) return names;
    std::string current;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\\' && i + 1 < text.size() && (text[i + 1] == ',' || text[i + 1] == '\\')) {
            current += text[++i];
        } else if (c == ',') {
            names.push_back(std::move(current));
            current.clear();
        } else {
            current += c;
        }
    }
    names.push_back(std::move(current));
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

bool createDevice(const std::string& directory, const DeviceOptions& options, const Artifacts& artifacts,
                  std::string* error) {
    auto fail = [&](const std::string& message) {
        if (error) *error = message;
        return false;
    };
    if (auto problem = checkDeviceRequest(directory, options)) return fail(*problem);

    std::error_code ec;
    fs::path target = fs::absolute(directory, ec);

    fs::path staging = target.parent_path() / (target.filename().string() + ".partial-" + std::to_string(::getpid()));
    fs::remove_all(staging, ec);
    Builder build(staging, error);
    auto cleanUp = [&] {
        std::error_code ignored;
        fs::remove_all(staging, ignored);
        return false;
    };

    if (!build.directory("var/mobile/Library/Preferences")) return cleanUp();
    for (const auto& app : kSystemApps)
        if (!build.plist(fs::path("Applications") / app.directory / "Info.plist",
                         infoPlist(app.identifier, app.name, app.name, app.scheme), PlistFormat::XML))
            return cleanUp();
    if (options.clear && !build.clearApp(kClearIdentifier, "Clear", options)) return cleanUp();
    if (options.clearPlus && !build.clearApp(kClearPlusIdentifier, "Clear+", options)) return cleanUp();
    if (options.defaultList &&
        !build.plist(kWidgetSettingsFile, {{"defaultList", *options.defaultList}}, PlistFormat::XML))
        return cleanUp();
    if (!build.plist(kSimStateFile, {{"frontApplication", options.front}}, PlistFormat::XML)) return cleanUp();

    fs::path dylibs = kDynamicLibrariesDirectory;
    if (!build.copy(artifacts.widgetBundle, fs::path(kWidgetsDirectory) / "Velmora.widget") ||
        !build.copy(artifacts.companionLibrary, dylibs / "VLIPC.so") ||
        !build.copy(artifacts.companionFilter, dylibs / "VLIPC.plist"))
        return cleanUp();

    if (fs::exists(target, ec)) fs::remove(target, ec);  // the empty directory it replaces
    fs::rename(staging, target, ec);
    if (ec) {
        cleanUp();
        return fail("cannot create " + directory + ": " + ec.message());
    }
    return true;
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

std::string readFrontApplication(const std::string& device) {
    return readPlistString((fs::path(device) / kSimStateFile).string(), "frontApplication")
        .value_or(kSpringBoardIdentifier);
}

bool writeFrontApplication(const std::string& device, const std::string& identifier) {
    return writePlistFile((fs::path(device) / kSimStateFile).string(), {{"frontApplication", identifier}},
                          PlistFormat::XML, nullptr);
}

}  // namespace sim
