#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include "Platform.h"
#include "PropertyList.h"
#include "ReaderTestSupport.h"
#include "VLDynamicReader.h"

using namespace readertest;

namespace {

const char* const kSettingsRelative = "Library/Preferences/com.kelbrin.velmora.plist";

class WidgetSettings : public testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(home.path() / "Library/Preferences");
        springboard::setHomeDirectory(home.path().string());
    }

    fs::path settingsFile() const { return home.path() / kSettingsRelative; }

    Dictionary savedSettings() const {
        auto settings = dictionaryWithContentsOfFile(settingsFile().string());
        if (!settings) ADD_FAILURE() << "settings file unreadable";
        return settings.value_or(Dictionary{});
    }

    TempDir home;
};

// --- initWithSavedPath -------------------------------------------------------

enum class Encoding { None, Xml, Binary, Raw };

struct SavedPathCase {
    const char* name;
    Encoding encoding;
    std::string content;  // XML root object, or raw bytes for Encoding::Raw
    std::optional<std::string> expected;
};

void PrintTo(const SavedPathCase& c, std::ostream* os) { *os << c.name; }

class ReadsSavedPath : public WidgetSettings, public testing::WithParamInterface<SavedPathCase> {};

TEST_P(ReadsSavedPath, FromTheSettingsFile) {
    const SavedPathCase& c = GetParam();
    switch (c.encoding) {
        case Encoding::None: break;
        case Encoding::Xml: writeFile(settingsFile(), xmlPlist(c.content)); break;
        case Encoding::Binary: writeBinaryPlist(settingsFile(), xmlPlist(c.content)); break;
        case Encoding::Raw: writeFile(settingsFile(), c.content); break;
    }

    auto reader = VLDynamicReader::initWithSavedPath();

    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->clearPath(), c.expected);
    EXPECT_EQ(reader->clearIdentifier(), std::nullopt);
}

const std::string kBoth =
    "<dict><key>defaultList</key><string>Groceries</string>"
    "<key>savedPath</key><string>/var/mobile/Applications/X/Clear.app</string></dict>";

INSTANTIATE_TEST_SUITE_P(
    Files, ReadsSavedPath,
    testing::Values(
        SavedPathCase{"NoFile", Encoding::None, "", std::nullopt},
        SavedPathCase{"Xml", Encoding::Xml, kBoth, "/var/mobile/Applications/X/Clear.app"},
        SavedPathCase{"Binary", Encoding::Binary, kBoth, "/var/mobile/Applications/X/Clear.app"},
        SavedPathCase{"OnlyDefaultList", Encoding::Xml, "<dict><key>defaultList</key><string>L</string></dict>",
                      std::nullopt},
        SavedPathCase{"EmptyString", Encoding::Xml, "<dict><key>savedPath</key><string></string></dict>", ""},
        SavedPathCase{"NumberSavedPath", Encoding::Xml, "<dict><key>savedPath</key><integer>7</integer></dict>",
                      std::nullopt},
        SavedPathCase{"ArraySavedPath", Encoding::Xml,
                      "<dict><key>savedPath</key><array><string>/a/Clear.app</string></array></dict>",
                      std::nullopt},
        SavedPathCase{"ArrayRoot", Encoding::Xml, "<array><string>/a/Clear.app</string></array>", std::nullopt},
        SavedPathCase{"Corrupt", Encoding::Raw, "<?xml version=\"1.0\"?><plist><dict><key>savedPath", std::nullopt},
        SavedPathCase{"Empty", Encoding::Raw, "", std::nullopt},
        SavedPathCase{"TruncatedBinary", Encoding::Raw, std::string("bplist00\xd1\x01\x02", 11), std::nullopt}),
    [](const testing::TestParamInfo<SavedPathCase>& info) { return std::string(info.param.name); });

TEST_F(WidgetSettings, HomeWithOrWithoutTrailingSeparatorNamesTheSameFile) {
    for (const std::string& homeText : {home.path().string(), home.path().string() + "/"}) {
        writeFile(settingsFile(), xmlPlist(kBoth));
        springboard::setHomeDirectory(homeText);
        EXPECT_EQ(VLDynamicReader::initWithSavedPath()->clearPath(), "/var/mobile/Applications/X/Clear.app")
            << homeText;
        auto reader = VLDynamicReader::initWithPath("/from/" + std::to_string(homeText.size()) + "/Clear.app");
        EXPECT_TRUE(reader->savePath()) << homeText;
        EXPECT_EQ(savedSettings().at("savedPath"), Value(*reader->clearPath())) << homeText;
        EXPECT_EQ(directoryEntries(home.path() / "Library/Preferences"),
                  std::vector<std::string>{"com.kelbrin.velmora.plist"});
    }
}

// --- savePath ----------------------------------------------------------------

TEST_F(WidgetSettings, SavePathReplacesSavedPathAndKeepsEveryOtherEntry) {
    writeBinaryPlist(settingsFile(),
                     xmlPlist("<dict><key>defaultList</key><string>Work</string>"
                              "<key>savedPath</key><string>/old/Clear.app</string>"
                              "<key>extra</key><array><integer>1</integer><true/></array></dict>"));

    EXPECT_TRUE(VLDynamicReader::initWithPath("/new/Clear.app")->savePath());

    const Dictionary expected{{"defaultList", Value("Work")},
                              {"savedPath", Value("/new/Clear.app")},
                              {"extra", Value(Array{Value(1), Value(true)})}};
    EXPECT_EQ(savedSettings(), expected);
    EXPECT_EQ(readFile(settingsFile()).rfind("<?xml", 0), 0u) << "settings are rewritten as XML";
}

TEST_F(WidgetSettings, SavePathWithoutPathRemovesOnlySavedPath) {
    writeFile(settingsFile(), xmlPlist(kBoth));

    EXPECT_TRUE(VLDynamicReader::initWithPath(std::nullopt)->savePath());

    EXPECT_EQ(savedSettings(), (Dictionary{{"defaultList", Value("Groceries")}}));
    EXPECT_EQ(VLDynamicReader::initWithSavedPath()->clearPath(), std::nullopt);
}

TEST_F(WidgetSettings, SavePathCreatesAOneEntryFile) {
    EXPECT_TRUE(VLDynamicReader::initWithPath("/apps/c1/Clear.app")->savePath());

    EXPECT_EQ(savedSettings(), (Dictionary{{"savedPath", Value("/apps/c1/Clear.app")}}));
    EXPECT_EQ(fs::status(settingsFile()).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(VLDynamicReader::initWithSavedPath()->clearPath(), "/apps/c1/Clear.app");
}

// Only a file with no dictionary in it to lose is replaced; a property list
// we cannot read whole is left byte for byte.
struct OldFileCase {
    const char* name;
    Encoding encoding;
    std::string content;  // as in SavedPathCase
    std::size_t cut;      // bytes cut off the end
    bool replaced;
};

void PrintTo(const OldFileCase& c, std::ostream* os) { *os << c.name; }

// {"k": a set}: a binary dictionary holding a value with no counterpart.
std::string binaryDictionaryHoldingASet() {
    const std::string objects = std::string("bplist00\xD1\x01\x02\x51k\xC0", 14) + "\x08\x0B\x0D";
    std::string trailer(32, '\0');
    trailer[6] = trailer[7] = 1;
    trailer[15] = 3;   // objects
    trailer[31] = 14;  // offset table
    return objects + trailer;
}

std::string repeated(const std::string& piece, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += piece;
    return out;
}

const char* const kOldDictionary = "<dict><key>defaultList</key><string>Work</string></dict>";

class SavePathOldFile : public WidgetSettings, public testing::WithParamInterface<OldFileCase> {};

TEST_P(SavePathOldFile, IsReplacedOnlyWhenItHoldsNoDictionary) {
    const OldFileCase& c = GetParam();
    if (c.encoding == Encoding::Binary) {
        writeBinaryPlist(settingsFile(), xmlPlist(c.content));
    } else {
        writeFile(settingsFile(), c.encoding == Encoding::Xml ? xmlPlist(c.content) : c.content);
    }
    std::string before = readFile(settingsFile());
    before.resize(before.size() - c.cut);
    writeFile(settingsFile(), before);

    EXPECT_EQ(VLDynamicReader::initWithPath("/apps/c1/Clear.app")->savePath(), c.replaced);

    if (c.replaced) {
        EXPECT_EQ(savedSettings(), (Dictionary{{"savedPath", Value("/apps/c1/Clear.app")}}));
    } else {
        EXPECT_EQ(readFile(settingsFile()), before);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, SavePathOldFile,
    testing::Values(OldFileCase{"NotAPropertyList", Encoding::Raw, "not a property list", 0, true},
                    OldFileCase{"Empty", Encoding::Raw, "", 0, true},
                    OldFileCase{"XmlArrayRoot", Encoding::Xml, "<array><string>a</string></array>", 0, true},
                    OldFileCase{"BinaryArrayRoot", Encoding::Binary, "<array><string>a</string></array>", 0, true},
                    OldFileCase{"TruncatedBinary", Encoding::Binary, kOldDictionary, 10, false},
                    OldFileCase{"TruncatedXml", Encoding::Xml, kOldDictionary, 20, false},
                    OldFileCase{"BinaryHoldingASet", Encoding::Raw, binaryDictionaryHoldingASet(), 0, false},
                    OldFileCase{"OtherBinaryVersion", Encoding::Raw, "bplist15 and whatever follows", 0, false},
                    OldFileCase{"XmlNestedPastTheLimit", Encoding::Xml,
                                "<dict><key>a</key>" + repeated("<array>", 300) + repeated("</array>", 300) + "</dict>",
                                0, false}),
    [](const testing::TestParamInfo<OldFileCase>& info) { return std::string(info.param.name); });

TEST_F(WidgetSettings, NothingToStoreAndNothingReadableWritesNothing) {
    auto reader = VLDynamicReader::initWithPath(std::nullopt);

    EXPECT_FALSE(reader->savePath());
    EXPECT_FALSE(fs::exists(settingsFile()));

    writeFile(settingsFile(), "garbage");
    EXPECT_FALSE(reader->savePath());
    EXPECT_EQ(readFile(settingsFile()), "garbage");
}

struct UnwritableCase {
    const char* name;
    // Prepares the home directory so the settings file cannot be written.
    void (*prepare)(const fs::path& home);
};

void PrintTo(const UnwritableCase& c, std::ostream* os) { *os << c.name; }

class SavePathCannotWrite : public WidgetSettings, public testing::WithParamInterface<UnwritableCase> {};

TEST_P(SavePathCannotWrite, ReturnsFalseAndLeavesTheDirectoryAsItWas) {
    GetParam().prepare(home.path());
    const auto before = snapshot(home.path());

    EXPECT_FALSE(VLDynamicReader::initWithPath("/apps/c1/Clear.app")->savePath());

    EXPECT_EQ(snapshot(home.path()), before);
    EXPECT_FALSE(fs::is_regular_file(settingsFile()));
}

INSTANTIATE_TEST_SUITE_P(
    Homes, SavePathCannotWrite,
    testing::Values(UnwritableCase{"NoPreferencesDirectory",
                                   [](const fs::path& home) { fs::remove_all(home / "Library/Preferences"); }},
                    UnwritableCase{"NoLibraryDirectory", [](const fs::path& home) { fs::remove_all(home / "Library"); }},
                    UnwritableCase{"PreferencesIsAFile",
                                   [](const fs::path& home) {
                                       fs::remove_all(home / "Library/Preferences");
                                       writeFile(home / "Library/Preferences", "a plain file");
                                   }},
                    UnwritableCase{"SettingsPathIsADirectory",
                                   [](const fs::path& home) {
                                       fs::create_directories(home / kSettingsRelative / "inside");
                                   }}),
    [](const testing::TestParamInfo<UnwritableCase>& info) { return std::string(info.param.name); });

// The write itself fails part-way (the file size limit stops it): the old
// settings must survive byte for byte, with no leftover beside them.
TEST_F(WidgetSettings, FailedWriteLeavesTheOldFileByteIdentical) {
    const std::string old = xmlPlist(kBoth);
    writeFile(settingsFile(), old);

    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previousHandler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit tiny = saved;
    tiny.rlim_cur = 16;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tiny), 0);

    const bool written = VLDynamicReader::initWithPath("/somewhere/else/entirely/Clear.app")->savePath();

    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(written);
    EXPECT_EQ(readFile(settingsFile()), old);
    EXPECT_EQ(directoryEntries(home.path() / "Library/Preferences"),
              std::vector<std::string>{"com.kelbrin.velmora.plist"});
}

}  // namespace
