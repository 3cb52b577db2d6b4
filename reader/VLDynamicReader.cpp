#include "VLDynamicReader.h"

#include <stdlib.h>  // arc4random_uniform
#include <sys/stat.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <cstddef>
#include <string_view>

#include "NSBundle.h"
#include "NSPathUtilities.h"
#include "NSString.h"
#include "ObjCRuntime.h"
#include "PropertyList.h"
#include "SBApplicationController.h"
#include "SQLiteStatement.h"
#include "StringArrayBuilder.h"
#include "VLSettingsFile.h"

namespace {

constexpr const char* kClearIdentifier = "com.realmacsoftware.clear";
constexpr const char* kClearPlusIdentifier = "com.realmacsoftware.clear.universal";

constexpr const char* kSavedPathKey = "savedPath";

constexpr const char* kBundleName = "Clear.app";
constexpr const char* kDatabaseBesideBundle =
    "Library/Application Support/com.realmacsoftware.clear/BackendTasks.sqlite";
constexpr const char* kPreferencesBesideBundle = "Library/Preferences/com.realmacsoftware.clear.plist";
constexpr const char* kThemeIdentifierKey = "ThemeIdentifier";

constexpr const char* kTintKey = "preferredTintColor";
constexpr const char* kBarTextKey = "preferredBarTextColor";

// The SBApplicationController class once found, kept for the rest of the
// process: SpringBoard's class object lives as long as the process does.
// Only ever holds nullptr or that one object, so racing first uses can only
// store the same pointer; the atomic keeps that race well-defined.
std::atomic<SBApplicationControllerClass*> controllerClassSlot{nullptr};

SBApplicationControllerClass* controllerClass() {
    SBApplicationControllerClass* cls = controllerClassSlot.load(std::memory_order_acquire);
    if (cls == nullptr) {
        // Missing in any process other than SpringBoard; look again next time.
        cls = dynamic_cast<SBApplicationControllerClass*>(objc_getClass("SBApplicationController"));
        if (cls != nullptr) controllerClassSlot.store(cls, std::memory_order_release);
    }
    return cls;
}

// The path of `besideBundle` in the directory that holds the "Clear.app"
// bundle at `bundlePath`. Purely textual: a resource path without
// "Clear.app" comes back unchanged, and so names no file of Clear's.
std::optional<std::string> pathBesideClearBundle(const std::optional<std::string>& bundlePath,
                                                 std::string_view besideBundle) {
    auto bundle = NSBundle::bundleWithPath(bundlePath);
    if (!bundle) return std::nullopt;
    auto resourcePath = bundle->resourcePath();
    if (!resourcePath) return std::nullopt;
    return stringByReplacingOccurrencesOfString(*resourcePath, kBundleName, besideBundle);
}

// --- Theme palette ----------------------------------------------------------
// The values are Clear's own, as decimals; they are used exactly as written.

struct Colour {
    bool grey;
    double white;             // grey only
    double red, green, blue;  // RGB only
    UIColor make() const {
        return grey ? UIColor::colorWithWhite(white, 1) : UIColor::colorWithRed(red, green, blue, 1);
    }
};

constexpr Colour rgb(double red, double green, double blue) { return {false, 0, red, green, blue}; }
constexpr Colour grey(double white) { return {true, white, 0, 0, 0}; }

// How a theme gets its tint: its own colour, or a fresh draw from the Analog
// tint list on every call.
enum class Tint { Fixed, DrawnFromAnalogList };

struct Theme {
    const char* key;
    Colour tint;  // Tint::Fixed only
    Colour barText;
    Tint tintKind = Tint::Fixed;
};

constexpr std::array<Theme, 22> kThemes{{
    {"THEME_WARMTH_ID", rgb(0.883633, 0.336134, 0.0977991), grey(1)},
    {"THEME_GRAPHITE_ID", rgb(0.396078, 0.470668, 0.545258), grey(1)},
    {"THEME_PINK_ID", rgb(0.904282, 0.252981, 0.444338), grey(1)},
    {"THEME_GREEN_ID", rgb(0.506363, 0.72565, 0.118207), grey(1)},
    {"THEME_NOIR_ID", rgb(0.213926, 0.213926, 0.213926), grey(1)},
    {"THEME_MAGNIFICENT_ID", rgb(0.663225, 0.376391, 0.981993), grey(1)},
    {"THEME_5C_BLUE_ID", rgb(0.208163, 0.523569, 0.913966), grey(1)},
    {"THEME_5C_YELLOW_ID", rgb(0.954542, 0.809284, 0.255862), grey(1)},
    {"THEME_SCORCHED_ID", rgb(0.772389, 0.358543, 0.095078), grey(1)},
    {"THEME_SOCIAL_ID", rgb(0.409524, 0.642977, 0.9006), grey(1)},
    {"THEME_NIGHT_OWL_ID", rgb(0.208884, 0.331893, 0.433533), grey(1)},
    {"THEME_LOYALTY_ID", rgb(0.447779, 0.229532, 0.52445), grey(1)},
    {"THEME_GIFTED_ID", rgb(0.920608, 0.920608, 0.920608), rgb(0.858824, 0.0862745, 0.090196)},
    {"THEME_TWEETBOT_ID", rgb(0.676351, 0.692037, 0.705722), rgb(0.14902, 0.156863, 0.160784)},
    {"THEME_PATH_ID", rgb(0.87499, 0.847299, 0.803922), rgb(0.501961, 0.482353, 0.45098)},
    {"THEME_BUMPY_ROAD_ID", rgb(0.383033, 0.157503, 0.0979592), rgb(0.960784, 0.909804, 0.705882)},
    {"THEME_HEIST_ID", rgb(0.138455, 0.168067, 0.178071), rgb(0.647059, 0.54902, 0.372549)},
    {"THEME_TEMPLE_RUN_ID", rgb(0.84962, 0.532853, 0.0460984), grey(1)},
    {"THEME_LETTERPRESS_ID", rgb(0.761745, 0.235454, 0.180232), rgb(0.917647, 0.843137, 0.835294)},
    {"THEME_CLOUDY_ID", rgb(0.791357, 0.832333, 0.881232), rgb(0.219608, 0.243137, 0.270588)},
    {"THEME_ANALOG_ID", rgb(0, 0, 0), grey(1), Tint::DrawnFromAnalogList},
    {"THEME_VANILLA_ID", rgb(0.946619, 0.905082, 0.828011), rgb(0.376471, 0.286275, 0.192157)},
}};

// A gradient from violet through red and orange to yellow-green.
constexpr std::array<Colour, 25> kAnalogTints{{
    rgb(0.670588, 0.0784314, 0.819608), rgb(0.73268, 0.105392, 0.749346),
    rgb(0.794771, 0.132353, 0.679085),  rgb(0.856863, 0.159314, 0.608824),
    rgb(0.918954, 0.186275, 0.538562),  rgb(0.969935, 0.212745, 0.472876),
    rgb(0.976471, 0.237255, 0.42549),   rgb(0.983007, 0.261765, 0.378105),
    rgb(0.989542, 0.286275, 0.330719),  rgb(0.996078, 0.310784, 0.283333),
    rgb(0.993791, 0.339216, 0.23366),   rgb(0.978268, 0.373529, 0.180556),
    rgb(0.962745, 0.407843, 0.127451),  rgb(0.947222, 0.442157, 0.0743464),
    rgb(0.931699, 0.476471, 0.0212418), rgb(0.926961, 0.522059, 0.00294118),
    rgb(0.929412, 0.575163, 0.00784314), rgb(0.931863, 0.628268, 0.0127451),
    rgb(0.934314, 0.681373, 0.0176471), rgb(0.936765, 0.734477, 0.022549),
    rgb(0.867974, 0.745752, 0.0196078), rgb(0.781373, 0.746569, 0.0147059),
    rgb(0.694771, 0.747386, 0.00980392), rgb(0.60817, 0.748203, 0.00490196),
    rgb(0.521569, 0.74902, 0),
}};

// Position 0 (Warmth) is also what every unknown identifier gets.
constexpr std::size_t kDefaultPosition = 0;

// Built in place: an initializer list would make each key twice.
ThemeComponents components(const UIColor& tint, const UIColor& barText) {
    ThemeComponents result;
    result.emplace(kTintKey, tint);
    result.emplace(kBarTextKey, barText);
    return result;
}

std::size_t themePosition(const Value& key) {
    const auto name = key.asString();
    if (!name) return kDefaultPosition;
    for (std::size_t position = 0; position < kThemes.size(); ++position) {
        if (*name == kThemes[position].key) return position;
    }
    return kDefaultPosition;
}

}  // namespace

std::shared_ptr<VLDynamicReader> VLDynamicReader::init() {
    std::shared_ptr<VLDynamicReader> reader(new VLDynamicReader());

    std::shared_ptr<SBApplicationController> registry;
    if (SBApplicationControllerClass* cls = controllerClass()) registry = cls->sharedInstance();

    std::shared_ptr<SBApplication> clear, clearPlus;
    if (registry) {
        clear = registry->applicationWithDisplayIdentifier(kClearIdentifier);
        clearPlus = registry->applicationWithDisplayIdentifier(kClearPlusIdentifier);
    }
    const std::shared_ptr<SBApplication>& chosen = clear ? clear : clearPlus;
    if (chosen) {
        reader->_clearPath = chosen->path();
        reader->_clearIdentifier = chosen->displayIdentifier();
    }
    return reader;
}

std::shared_ptr<VLDynamicReader> VLDynamicReader::initWithPath(std::optional<std::string> path) {
    std::shared_ptr<VLDynamicReader> reader(new VLDynamicReader());
    reader->_clearPath = std::move(path);
    return reader;
}

std::shared_ptr<VLDynamicReader> VLDynamicReader::initWithSavedPath() {
    std::shared_ptr<VLDynamicReader> reader(new VLDynamicReader());
    if (auto settings = dictionaryWithContentsOfFile(VLSettingsFilePath())) {
        auto entry = settings->find(kSavedPathKey);
        // Anything but a string cannot be a bundle path.
        if (entry != settings->end()) reader->_clearPath = entry->second.stringValue();
    }
    return reader;
}

ThemeComponents VLDynamicReader::themeFromSettings() const {
    Value identifier;
    if (auto preferencesPath = pathBesideClearBundle(_clearPath, kPreferencesBesideBundle)) {
        if (auto entry = dictionaryEntryWithContentsOfFile(*preferencesPath, kThemeIdentifierKey))
            identifier = std::move(*entry);
    }
    return themeComponentsFromKey(identifier);
}

ThemeComponents VLDynamicReader::themeComponentsFromKey(const Value& key) {
    const Theme& theme = kThemes[themePosition(key)];
    if (theme.tintKind == Tint::DrawnFromAnalogList) {
        std::array<UIColor, kAnalogTints.size()> tints;
        for (std::size_t i = 0; i < kAnalogTints.size(); ++i) tints[i] = kAnalogTints[i].make();
        const std::uint32_t draw = arc4random_uniform(static_cast<std::uint32_t>(tints.size()));
        return components(tints[draw], theme.barText.make());
    }
    return components(theme.tint.make(), theme.barText.make());
}

Array VLDynamicReader::listsFromDatabase() const {
    return parsedSQLiteListNamesForPath(pathBesideClearBundle(_clearPath, kDatabaseBesideBundle));
}

Array VLDynamicReader::parsedSQLiteListNamesForPath(const std::optional<std::string>& path) const {
    // Only a regular file can be Clear's database. SQLite would open a FIFO
    // put in its place and wait for a writer for ever; a socket, device or
    // directory is no database either. Checked here because SQLite opens
    // without O_NONBLOCK and offers no way to refuse such a file itself.
    struct stat status {};
    if (!path || ::stat(path->c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return Array{};

    // Read-only: the database is Clear's, and a read/write open would even
    // create an empty database file where none exists.
    const SQLiteConnection connection = SQLiteConnection::openReadOnly(path->c_str());
    SQLiteStatement statement(connection, "select title from lists");
    if (!statement.ok()) return Array{};
    // The titles are made and dropped together (a form's choices, one
    // reply), so their bytes share a few blocks instead of one each.
    StringArrayBuilder names;
    // No busy timeout: a locked database ends the read with what we have.
    while (statement.step()) {
        const char* text = statement.text(0);
        if (text == nullptr) continue;  // NULL title: nothing Clear could be asked for
        // Up to the first NUL, as +stringWithUTF8String: reads it. Text that
        // is no UTF-8 makes no string, and no name Clear could be asked for.
        names.appendUTF8(text);
    }
    return names.take();
}

bool VLDynamicReader::savePath() const {
    const std::string path = VLSettingsFilePath();
    DictionaryFile settings = dictionaryFileWithContentsOfFile(path);
    // A list we cannot read whole may hold entries we cannot see: rewriting
    // it would lose them.
    if (settings.state == DictionaryFile::State::refused) return false;
    // Nothing to keep, and nothing to store: a file without "savedPath"
    // reads the same as no file, so leave things as they are.
    if (settings.state == DictionaryFile::State::none && !_clearPath) return false;
    if (_clearPath) {
        settings.dictionary[kSavedPathKey] = Value(*_clearPath);
    } else {
        settings.dictionary.erase(kSavedPathKey);
    }
    return writeToFile(settings.dictionary, path, true);
}
