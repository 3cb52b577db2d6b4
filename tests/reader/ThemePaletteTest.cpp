#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <set>
#include <tuple>

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

// A handful of Clear's themes, spelled out from Clear's own palette: the
// first and last keys, equal RGB components, RGB bar text, and the rows the
// preference tests below expect.
const ThemeRow kSomeRows[] = {
    {"THEME_WARMTH_ID", rgb(0.883633, 0.336134, 0.0977991), grey(1)},
    {"THEME_GRAPHITE_ID", rgb(0.396078, 0.470668, 0.545258), grey(1)},
    {"THEME_NOIR_ID", rgb(0.213926, 0.213926, 0.213926), grey(1)},
    {"THEME_GIFTED_ID", rgb(0.920608, 0.920608, 0.920608), rgb(0.858824, 0.0862745, 0.090196)},
    {"THEME_HEIST_ID", rgb(0.138455, 0.168067, 0.178071), rgb(0.647059, 0.54902, 0.372549)},
    {"THEME_TEMPLE_RUN_ID", rgb(0.84962, 0.532853, 0.0460984), grey(1)},
    {"THEME_CLOUDY_ID", rgb(0.791357, 0.832333, 0.881232), rgb(0.219608, 0.243137, 0.270588)},
    {"THEME_VANILLA_ID", rgb(0.946619, 0.905082, 0.828011), rgb(0.376471, 0.286275, 0.192157)},
};

// Clear's 22 theme identifiers in palette order.
const char* const kKeys[] = {
    "THEME_WARMTH_ID",     "THEME_GRAPHITE_ID",  "THEME_PINK_ID",       "THEME_GREEN_ID",
    "THEME_NOIR_ID",       "THEME_MAGNIFICENT_ID", "THEME_5C_BLUE_ID",  "THEME_5C_YELLOW_ID",
    "THEME_SCORCHED_ID",   "THEME_SOCIAL_ID",    "THEME_NIGHT_OWL_ID",  "THEME_LOYALTY_ID",
    "THEME_GIFTED_ID",     "THEME_TWEETBOT_ID",  "THEME_PATH_ID",       "THEME_BUMPY_ROAD_ID",
    "THEME_HEIST_ID",      "THEME_TEMPLE_RUN_ID", "THEME_LETTERPRESS_ID", "THEME_CLOUDY_ID",
    "THEME_ANALOG_ID",     "THEME_VANILLA_ID",
};

// The whole palette is checked through a checksum: 64-bit FNV-1a of one line
// per colour or row in the format below, with components printed "%.6g" (the
// palette's values have at most six significant digits). The expected sums
// were computed once from Clear's published palette with a separate script,
// never from the reader's table, so a mistyped digit on either side shows.
constexpr std::uint64_t kPaletteChecksum = 0x209c9c9bbc555a32;  // "KEY|tint|bar text\n" per row
constexpr std::uint64_t kAnalogChecksum = 0x4d0ee400be3741c5;   // "rgb R G B\n", sorted by R, G, B

std::uint64_t fnv1a(const std::string& text) {
    std::uint64_t hash = 0xcbf29ce484222325;
    for (unsigned char c : text) hash = (hash ^ c) * 0x100000001b3;
    return hash;
}

std::string line(const UIColor& c) {
    char text[96];
    if (c.space == UIColor::Space::RGB)
        std::snprintf(text, sizeof text, "rgb %.6g %.6g %.6g", c.red, c.green, c.blue);
    else
        std::snprintf(text, sizeof text, "grey %.6g", c.white);
    return text;
}

void expectComponents(const ThemeComponents& components, const UIColor& tint, const UIColor& barText,
                      const std::string& context) {
    ASSERT_EQ(components.size(), 2u) << context;
    ASSERT_TRUE(components.count("preferredTintColor")) << context;
    ASSERT_TRUE(components.count("preferredBarTextColor")) << context;
    EXPECT_EQ(components.at("preferredTintColor"), tint) << context;
    EXPECT_EQ(components.at("preferredBarTextColor"), barText) << context;
}

TEST(ThemePalette, SomeThemesGiveTheirOwnColours) {
    for (const ThemeRow& row : kSomeRows) {
        expectComponents(VLDynamicReader::themeComponentsFromKey(Value(row.key)), row.tint, row.barText, row.key);
    }
}

TEST(ThemePalette, EveryRowMatchesClearsPalette) {
    std::string text;
    for (const char* key : kKeys) {
        const auto components = VLDynamicReader::themeComponentsFromKey(Value(key));
        ASSERT_EQ(components.size(), 2u) << key;
        for (const UIColor& colour : {components.at("preferredTintColor"), components.at("preferredBarTextColor")})
            EXPECT_EQ(colour.alpha, 1) << key;
        // The Analog tint is drawn at random; the test below checks the draw.
        const bool analog = std::string(key) == "THEME_ANALOG_ID";
        text += std::string(key) + "|" + (analog ? "analog" : line(components.at("preferredTintColor"))) + "|" +
                line(components.at("preferredBarTextColor")) + "\n";
    }
    EXPECT_EQ(fnv1a(text), kPaletteChecksum) << text;
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
    // 5,000 draws miss one of 25 colours with a chance below 1e-80.
    auto byComponents = [](const UIColor& a, const UIColor& b) {
        return std::tie(a.red, a.green, a.blue) < std::tie(b.red, b.green, b.blue);
    };
    std::set<UIColor, decltype(byComponents)> seen(byComponents);
    for (int call = 0; call < 5000; ++call) {
        const auto components = VLDynamicReader::themeComponentsFromKey(Value("THEME_ANALOG_ID"));
        ASSERT_EQ(components.size(), 2u);
        ASSERT_EQ(components.at("preferredBarTextColor"), kWhite);
        const UIColor& tint = components.at("preferredTintColor");
        ASSERT_EQ(tint.space, UIColor::Space::RGB) << describe(tint);
        ASSERT_EQ(tint.alpha, 1) << describe(tint);
        seen.insert(tint);
    }
    std::string text;
    for (const UIColor& tint : seen) text += line(tint) + "\n";
    EXPECT_EQ(seen.size(), 25u) << text;
    EXPECT_EQ(fnv1a(text), kAnalogChecksum) << text;
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
    const char* expectedKey;  // row of kSomeRows, nullptr for the default palette
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
        for (const ThemeRow& row : kSomeRows) {
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
