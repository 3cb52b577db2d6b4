#include "PropertyList.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "PlistCodec.h"
#include "PlistShape.h"
#include "TempDirectory.h"

namespace fs = std::filesystem;

namespace {

const char* kXml = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
  <key>defaultList</key><string>Caf&#233; &amp; Bar</string>
  <key>count</key><integer>-3</integer>
  <key>ratio</key><real>0.25</real>
  <key>on</key><true/>
  <key>items</key><array><string>a</string><integer>1</integer></array>
  <key>blob</key><data>AAEC</data>
</dict>
</plist>
)";

// Binary form made by libplist's own command-line tool, not by our writer.
std::string toBinaryWithPlistutil(const TempDirectory& dir, const std::string& xml) {
    auto in = dir.path() / "in.xml", out = dir.path() / "out.bin";
    writeFile(in, xml);
    std::string command = "plistutil -i '" + in.string() + "' -o '" + out.string() + "' -f bin";
    if (std::system(command.c_str()) != 0) return {};
    return readFile(out);
}

}  // namespace

TEST(PropertyListRead, XmlAndBinaryGiveTheSameDictionary) {
    TempDirectory dir;
    writeFile(dir.path() / "x.plist", kXml);
    auto binary = toBinaryWithPlistutil(dir, kXml);
    ASSERT_EQ(binary.substr(0, 6), "bplist");
    writeFile(dir.path() / "b.plist", binary);

    for (const char* name : {"x.plist", "b.plist"}) {
        auto d = dictionaryWithContentsOfFile((dir.path() / name).string());
        ASSERT_TRUE(d) << name;
        EXPECT_EQ(d->at("defaultList"), Value("Caf\xc3\xa9 & Bar")) << name;
        EXPECT_EQ(d->at("count"), Value(-3)) << name;
        EXPECT_EQ(d->at("ratio"), Value(0.25)) << name;
        EXPECT_EQ(d->at("on"), Value(true)) << name;
        EXPECT_EQ(d->at("items"), Value(Array{"a", 1})) << name;
        EXPECT_EQ(d->at("blob"), Value(Data{{0, 1, 2}})) << name;
    }
}

TEST(PropertyListRead, AnythingButADictionaryFileReadsAsNothing) {
    TempDirectory dir;
    writeFile(dir.path() / "array.plist",
              "<?xml version=\"1.0\"?><plist version=\"1.0\"><array><string>a</string></array></plist>");
    writeFile(dir.path() / "garbage.plist", "this is not a property list \x01\x02");
    writeFile(dir.path() / "truncated.plist", std::string(kXml).substr(0, 200));
    writeFile(dir.path() / "empty.plist", "");
    writeFile(dir.path() / "bplist.plist", "bplist00\xff\xff\xff");
    dir.make("directory.plist");
    for (const char* name : {"array.plist", "garbage.plist", "truncated.plist", "empty.plist", "bplist.plist",
                             "directory.plist", "missing.plist"})
        EXPECT_FALSE(dictionaryWithContentsOfFile((dir.path() / name).string())) << name;
}

// One entry reads as the whole dictionary would give it: nothing for a file
// that is no dictionary or has one unreadable value anywhere, nil for a key
// it lacks, the last of a key given twice.
TEST(PropertyListRead, OneEntryReadsAsTheWholeDictionaryWould) {
    TempDirectory dir;
    const std::string head = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>";
    writeFile(dir.path() / "x.plist", kXml);
    writeFile(dir.path() / "b.plist", toBinaryWithPlistutil(dir, kXml));
    writeFile(dir.path() / "twice.plist", head + "<key>k</key><string>first</string><key>k</key><integer>2</integer></dict></plist>");
    writeFile(dir.path() / "bad.plist", head + "<key>k</key><string>ok</string><key>z</key><string>\xff</string></dict></plist>");
    writeFile(dir.path() / "array.plist", "<?xml version=\"1.0\"?><plist version=\"1.0\"><array><string>k</string></array></plist>");
    for (const char* name : {"x.plist", "b.plist", "twice.plist", "bad.plist", "array.plist", "missing.plist"}) {
        const std::string path = (dir.path() / name).string();
        const auto whole = dictionaryWithContentsOfFile(path);
        for (const char* key : {"defaultList", "items", "k", "absent"}) {
            std::optional<Value> expected;
            if (whole) expected = whole->count(key) ? whole->at(key) : Value();
            EXPECT_EQ(dictionaryEntryWithContentsOfFile(path, key), expected) << name << " " << key;
        }
    }
    EXPECT_EQ(dictionaryEntryWithContentsOfFile((dir.path() / "twice.plist").string(), "k"), Value(2));
    EXPECT_FALSE(dictionaryEntryWithContentsOfFile((dir.path() / "bad.plist").string(), "k"));
}

TEST(PropertyListWrite, RoundTripsAsXmlWithMode0644) {
    TempDirectory dir;
    auto path = (dir.path() / "out.plist").string();
    Dictionary d{{"savedPath", "/x/Clear.app"}, {"n", 5}, {"nested", Dictionary{{"a", Array{true, 1.5}}}}};
    ASSERT_TRUE(writeToFile(d, path, true));
    EXPECT_EQ(readFile(path).substr(0, 5), "<?xml");
    EXPECT_EQ(dictionaryWithContentsOfFile(path), d);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    // Nothing but the file itself is left in the directory.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(PropertyListWrite, FailureLeavesTheOldFileAndNoTemporary) {
    TempDirectory dir;
    // The target is a directory: the rename cannot replace it.
    auto target = dir.make("occupied");
    writeFile(target / "inside", "keep");
    EXPECT_FALSE(writeToFile(Dictionary{{"k", "v"}}, target.string(), true));
    EXPECT_EQ(readFile(target / "inside"), "keep");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
    // No such directory.
    EXPECT_FALSE(writeToFile(Dictionary{{"k", "v"}}, (dir.path() / "none" / "f.plist").string(), true));
    EXPECT_FALSE(fs::exists(dir.path() / "none"));
    // A regular file where a directory should be.
    writeFile(dir.path() / "file", "x");
    EXPECT_FALSE(writeToFile(Dictionary{{"k", "v"}}, (dir.path() / "file" / "f.plist").string(), true));
    EXPECT_EQ(readFile(dir.path() / "file"), "x");
}

TEST(PropertyListWrite, ReplacesAnExistingFileWhole) {
    TempDirectory dir;
    auto path = dir.path() / "s.plist";
    writeFile(path, std::string(100000, 'x'));
    ASSERT_TRUE(writeToFile(Dictionary{{"k", "v"}}, path.string(), true));
    EXPECT_EQ(dictionaryWithContentsOfFile(path.string()), (Dictionary{{"k", "v"}}));
    ASSERT_TRUE(writeToFile(Dictionary{{"k", "w"}}, path.string(), false));
    EXPECT_EQ(dictionaryWithContentsOfFile(path.string()), (Dictionary{{"k", "w"}}));
}

TEST(PlistCodec, BinaryRoundTripAndNilsLeftOut) {
    Value v(Dictionary{{"lists", Array{"A", "", "\xc3\xa9"}}, {"gone", Value()}, {"big", Value(LLONG_MIN)}});
    auto bytes = springboard::binaryPropertyList(v);
    ASSERT_EQ(bytes.substr(0, 6), "bplist");
    auto back = springboard::parsePropertyList(bytes.data(), bytes.size());
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, Value(Dictionary{{"lists", Array{"A", "", "\xc3\xa9"}}, {"big", Value(LLONG_MIN)}}));
    EXPECT_EQ(springboard::binaryPropertyList(Value()), "");
    EXPECT_FALSE(springboard::parsePropertyList(nullptr, 0));
}

// `levels` arrays, one in the other, the innermost empty.
Value nested(int levels) {
    Value value{Array{}};
    for (int i = 1; i < levels; ++i) value = Value(Array{value});
    return value;
}

std::string nestedXml(int levels) {
    std::string xml = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
    for (int i = 1; i < levels; ++i) xml += "<array>";
    xml += "<array/>";
    for (int i = 1; i < levels; ++i) xml += "</array>";
    return xml + "</plist>";
}

TEST(PlistCodec, OneNestingLimitForBothFormsReadAndWritten) {
    for (const int levels : {springboard::kMaxPropertyListDepth, springboard::kMaxPropertyListDepth + 1}) {
        const bool within = levels <= springboard::kMaxPropertyListDepth;
        const std::string xml = nestedXml(levels);
        const std::string written[] = {springboard::xmlPropertyList(nested(levels)),
                                       springboard::binaryPropertyList(nested(levels))};
        EXPECT_EQ(springboard::parsePropertyList(xml.data(), xml.size()).has_value(), within) << levels;
        for (const std::string& bytes : written) {
            EXPECT_EQ(!bytes.empty(), within) << levels;
            if (within) {
                EXPECT_EQ(springboard::parsePropertyList(bytes.data(), bytes.size()), nested(levels));
            }
        }
    }
}

TEST(PlistCodec, CarriageReturnsCrossXmlExactlyAndLineEndsReadAsLineFeeds) {
    const Value text(std::string("a\rb\r\nc"));
    const std::string xml = springboard::xmlPropertyList(Value(Array{text}));
    EXPECT_NE(xml.find("&#13;"), std::string::npos);
    EXPECT_EQ(springboard::parsePropertyList(xml.data(), xml.size()), Value(Array{text}));
    const std::string typed = "<plist version=\"1.0\">\r\n<array><string>a\rb\r\nc</string></array></plist>";
    EXPECT_EQ(springboard::parsePropertyList(typed.data(), typed.size()), Value(Array{Value("a\nb\nc")}));
}

TEST(PlistCodec, HostileNestingIsRefusedBeforeTheParserRecurses) {
    // Deep enough to overflow the stack of a parser that recurses per level.
    constexpr int kLevels = 200000;
    std::string xml = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
    for (int i = 0; i < kLevels; ++i) xml += "<dict><key>k</key>";
    xml += "<true/>";
    for (int i = 0; i < kLevels; ++i) xml += "</dict>";
    xml += "</plist>";
    TempDirectory dir;
    writeFile(dir.path() / "deep.plist", xml);
    EXPECT_FALSE(dictionaryWithContentsOfFile((dir.path() / "deep.plist").string()));
}

TEST(PlistShape, XmlNumbersReadOnlyWhereEveryReaderReadsThemAlike) {
    const struct {
        const char* element;
        bool read;
    } cases[] = {
        {"<integer>-12</integer>", true},  {"<integer> 0 </integer>", true},  {"<integer>0x1F</integer>", true},
        {"<integer>+5</integer>", true},   {"<integer>010</integer>", false}, {"<integer>abc</integer>", false},
        {"<integer></integer>", false},    {"<integer/>", false},             {"<integer>-0x10</integer>", false},
        {"<real>-1.5e-3</real>", true},    {"<real>.5</real>", true},         {"<real>-inf</real>", true},
        {"<real>NaN</real>", true},        {"<real>0x10</real>", false},      {"<real>1.5x</real>", false},
        {"<real>e5</real>", false},
    };
    for (const auto& c : cases) {
        const std::string xml = std::string("<plist version=\"1.0\"><array>") + c.element + "</array></plist>";
        EXPECT_EQ(springboard::parsePropertyList(xml.data(), xml.size()).has_value(), c.read) << c.element;
    }
}

TEST(PlistShape, XmlDepthScanCountsOnlyNestingElements) {
    struct Case {
        std::string xml;
        std::size_t maxDepth;
        bool within;
    };
    const Case cases[] = {
        {"<plist><array><array/></array></plist>", 1, true},
        {"<plist><array><array></array></array></plist>", 1, false},
        {"<plist><dict><key>array</key><string>&lt;array&gt;</string></dict></plist>", 1, true},
        {"<plist><!-- <array><array> --><array/></plist>", 1, true},
        {"<plist><string><![CDATA[<array><array>]]></string></plist>", 0, true},
        {"<plist><arrays><arrays></plist>", 0, true},
        {"<plist><dict >", 0, false},
        {"<plist><array", 0, true},
        // As short as two levels can be, and one byte shorter.
        {"<dict><dict>", 1, false},
        {"<dict><array", 1, true},
        {"<array><array>", 1, false},
    };
    for (const auto& c : cases) EXPECT_EQ(springboard::xmlPlistDepthIsWithin(c.xml, c.maxDepth), c.within) << c.xml;
}
