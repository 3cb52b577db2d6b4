#include <gtest/gtest.h>

#include <array>
#include <set>

#include "ReaderTestSupport.h"
#include "VLDynamicReader.h"

using namespace readertest;

namespace {

UIColor rgb(double r, double g, double b) { return UIColor::colorWithRed(r, g, b, 1); }
UIColor grey(double white) { return UIColor::colorWithWhite(white, 1); }

std::string describe(const UIColor& c) {
    return c.space == UIColor::Space::RGB
               ? "RGB(" + std::to_string(c.red) + ", " + std::to_string(c.green) + ", " + std::to_string(c.blue) +
                     ", a=" + std::to_string(c.alpha) + ")"
               : "grey(" + std::to_string(c.white) + ", a=" + std::to_string(c.alpha) + ")";
}

}  // namespace

void PrintTo(const UIColor& c, std::ostream* os) { *os << describe(c); }

namespace {

struct ThemeRow {
    const char* key;
    UIColor tint;
    UIColor barText;
};

const UIColor kDefaultTint = rgb(0.883633, 0.336134, 0.0977991);
const UIColor kWhite = grey(1);

// Clear's themes, the Analog theme aside (its tint is drawn at random).
const ThemeRow kRows[] = {
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
    {"THEME_VANILLA_ID", rgb(0.946619, 0.905082, 0.828011), rgb(0.376471, 0.286275, 0.192157)},
};

const std::array<UIColor, 25> kAnalogTints = {
    rgb(0.670588, 0.0784314, 0.819608), rgb(0.73268, 0.105392, 0.749346),    rgb(0.794771, 0.132353, 0.679085),
    rgb(0.856863, 0.159314, 0.608824),  rgb(0.918954, 0.186275, 0.538562),   rgb(0.969935, 0.212745, 0.472876),
    rgb(0.976471, 0.237255, 0.42549),   rgb(0.983007, 0.261765, 0.378105),   rgb(0.989542, 0.286275, 0.330719),
    rgb(0.996078, 0.310784, 0.283333),  rgb(0.993791, 0.339216, 0.23366),    rgb(0.978268, 0.373529, 0.180556),
    rgb(0.962745, 0.407843, 0.127451),  rgb(0.947222, 0.442157, 0.0743464),  rgb(0.931699, 0.476471, 0.0212418),
    rgb(0.926961, 0.522059, 0.00294118), rgb(0.929412, 0.575163, 0.00784314), rgb(0.931863, 0.628268, 0.0127451),
    rgb(0.934314, 0.681373, 0.0176471), rgb(0.936765, 0.734477, 0.022549),   rgb(0.867974, 0.745752, 0.0196078),
    rgb(0.781373, 0.746569, 0.0147059), rgb(0.694771, 0.747386, 0.00980392), rgb(0.60817, 0.748203, 0.00490196),
    rgb(0.521569, 0.74902, 0),
};

void expectComponents(const ThemeComponents& components, const UIColor& tint, const UIColor& barText,
                      const std::string& context) {
    ASSERT_EQ(components.size(), 2u) << context;
    ASSERT_TRUE(components.count("preferredTintColor")) << context;
    ASSERT_TRUE(components.count("preferredBarTextColor")) << context;
    EXPECT_EQ(components.at("preferredTintColor"), tint) << context;
    EXPECT_EQ(components.at("preferredBarTextColor"), barText) << context;
}

TEST(ThemePalette, EveryThemeGivesItsOwnColours) {
    for (const ThemeRow& row : kRows) {
        expectComponents(VLDynamicReader::themeComponentsFromKey(Value(row.key)), row.tint, row.barText, row.key);
    }
}

TEST(ThemePalette, EqualComponentsStayRgbAndWhiteStaysGrey) {
    const auto noir = VLDynamicReader::themeComponentsFromKey(Value("THEME_NOIR_ID"));
    EXPECT_EQ(noir.at("preferredTintColor").space, UIColor::Space::RGB);
    EXPECT_EQ(noir.at("preferredBarTextColor").space, UIColor::Space::White);
    const auto gifted = VLDynamicReader::themeComponentsFromKey(Value("THEME_GIFTED_ID"));
    EXPECT_EQ(gifted.at("preferredTintColor").space, UIColor::Space::RGB);
    EXPECT_EQ(gifted.at("preferredBarTextColor").space, UIColor::Space::RGB);
}

TEST(ThemePalette, AnythingButAnExactKeyGivesTheDefaultPalette) {
    const std::vector<std::pair<std::string, Value>> keys = {
        {"nil", Value()},
        {"empty", Value("")},
        {"unknown", Value("THEME_UNKNOWN_ID")},
        {"lower case", Value("theme_graphite_id")},
        {"leading space", Value(" THEME_GRAPHITE_ID")},
        {"trailing space", Value("THEME_VANILLA_ID ")},
        {"prefix only", Value("THEME_GRAPHITE")},
        {"integer 1", Value(1)},
        {"integer 20", Value(20)},
        {"real 1.0", Value(1.0)},
        {"boolean", Value(true)},
        {"array", Value(Array{Value("THEME_GRAPHITE_ID")})},
        {"dictionary", Value(Dictionary{{"THEME_GRAPHITE_ID", Value("THEME_GRAPHITE_ID")}})},
        {"data", Value(Data{{'T', 'H', 'E', 'M', 'E'}})},
    };
    for (const auto& [name, key] : keys) {
        expectComponents(VLDynamicReader::themeComponentsFromKey(key), kDefaultTint, kWhite, name);
    }
}

TEST(ThemePalette, AnalogDrawsEveryListColourAndNothingElse) {
    std::array<int, 25> seen{};
    for (int call = 0; call < 5000; ++call) {
        const auto components = VLDynamicReader::themeComponentsFromKey(Value("THEME_ANALOG_ID"));
        ASSERT_EQ(components.size(), 2u);
        ASSERT_EQ(components.at("preferredBarTextColor"), kWhite);
        const UIColor& tint = components.at("preferredTintColor");
        auto found = std::find(kAnalogTints.begin(), kAnalogTints.end(), tint);
        ASSERT_NE(found, kAnalogTints.end()) << describe(tint);
        ++seen[static_cast<std::size_t>(found - kAnalogTints.begin())];
    }
    for (std::size_t entry = 0; entry < seen.size(); ++entry) EXPECT_GT(seen[entry], 0) << "entry " << entry;
}

// --- Reading the theme from Clear's preferences ------------------------------

const char* const kPreferencesBesideBundle = "Library/Preferences/com.realmacsoftware.clear.plist";

std::string themeDict(const std::string& value) { return "<dict><key>ThemeIdentifier</key>" + value + "</dict>"; }

struct SettingsCase {
    const char* name;
    std::string bundle;       // relative to the scratch directory
    std::string preferences;  // relative path of the preferences file, "" for none
    bool binary;
    std::string rootXml;  // raw bytes when it does not start with '<'
    const char* expectedKey;  // row of kRows, nullptr for the default palette
};

void PrintTo(const SettingsCase& c, std::ostream* os) { *os << c.name; }

class ThemeFromSettings : public testing::TestWithParam<SettingsCase> {};

TEST_P(ThemeFromSettings, ReadsClearsThemeIdentifier) {
    const SettingsCase& c = GetParam();
    TempDir dir;
    fs::create_directories(dir.path() / c.bundle);
    if (!c.preferences.empty()) {
        const fs::path file = dir.path() / c.preferences;
        if (c.rootXml.rfind("<", 0) != 0) {
            writeFile(file, c.rootXml);
        } else if (c.binary) {
            writeBinaryPlist(file, xmlPlist(c.rootXml));
        } else {
            writeFile(file, xmlPlist(c.rootXml));
        }
    }
    const auto before = snapshot(dir.path());

    const auto components = VLDynamicReader::initWithPath(dir / c.bundle)->themeFromSettings();

    UIColor tint = kDefaultTint, barText = kWhite;
    if (c.expectedKey) {
        for (const ThemeRow& row : kRows) {
            if (std::string(row.key) == c.expectedKey) tint = row.tint, barText = row.barText;
        }
    }
    expectComponents(components, tint, barText, c.name);
    EXPECT_EQ(snapshot(dir.path()), before) << "Clear's files are only read";
}

const std::string kBesideC1 = std::string("c1/") + kPreferencesBesideBundle;

INSTANTIATE_TEST_SUITE_P(
    Preferences, ThemeFromSettings,
    testing::Values(
        SettingsCase{"Xml", "c1/Clear.app", kBesideC1, false, themeDict("<string>THEME_VANILLA_ID</string>"),
                     "THEME_VANILLA_ID"},
        SettingsCase{"Binary", "c1/Clear.app", kBesideC1, true, themeDict("<string>THEME_GRAPHITE_ID</string>"),
                     "THEME_GRAPHITE_ID"},
        SettingsCase{"BinaryAmongOtherKeys", "c1/Clear.app", kBesideC1, true,
                     "<dict><key>Sounds</key><false/><key>ThemeIdentifier</key><string>THEME_HEIST_ID</string>"
                     "<key>Lists</key><array><integer>3</integer></array></dict>",
                     "THEME_HEIST_ID"},
        SettingsCase{"NumberOne", "c1/Clear.app", kBesideC1, false, themeDict("<integer>1</integer>"), nullptr},
        SettingsCase{"LowerCase", "c1/Clear.app", kBesideC1, false, themeDict("<string>theme_pink_id</string>"),
                     nullptr},
        SettingsCase{"NoThemeIdentifier", "c1/Clear.app", kBesideC1, false,
                     "<dict><key>Other</key><string>THEME_PINK_ID</string></dict>", nullptr},
        SettingsCase{"ArrayRoot", "c1/Clear.app", kBesideC1, false, "<array><string>THEME_PINK_ID</string></array>",
                     nullptr},
        SettingsCase{"Corrupt", "c1/Clear.app", kBesideC1, false, "bplist00 broken", nullptr},
        SettingsCase{"NoPreferencesFile", "c1/Clear.app", "", false, "", nullptr},
        SettingsCase{"BundleNamedOtherwise", "c1/Other.app", kBesideC1, false,
                     themeDict("<string>THEME_PINK_ID</string>"), nullptr},
        SettingsCase{"ClearAppTwice", "Clear.app/c/Clear.app",
                     std::string(kPreferencesBesideBundle) + "/c/" + kPreferencesBesideBundle, false,
                     themeDict("<string>THEME_CLOUDY_ID</string>"), "THEME_CLOUDY_ID"}),
    [](const testing::TestParamInfo<SettingsCase>& info) { return std::string(info.param.name); });

TEST(ThemeFromSettingsWithoutBundle, GivesTheDefaultPalette) {
    TempDir dir;
    writeFile(dir.path() / kPreferencesBesideBundle, xmlPlist(themeDict("<string>THEME_PINK_ID</string>")));
    for (const std::optional<std::string>& path :
         {std::optional<std::string>{}, std::optional<std::string>{""}, std::optional<std::string>{dir / "Clear.app"}}) {
        expectComponents(VLDynamicReader::initWithPath(path)->themeFromSettings(), kDefaultTint, kWhite,
                         path.value_or("(absent)"));
    }
}

}  // namespace
