// Inputs the fuzzers found that crashed or corrupted data, kept as
// regressions. A malformed file or frame must read as "not a property list"
// (the quiet fallback), never abort the process: ASCII-marked strings with
// bytes past 0x7F are no text, and XML has no NUL byte. A binary string
// holding U+0000 is a well-formed value: it is read whole (it then equals no
// theme key or message name), and since XML cannot carry it, the settings
// file holding it is left byte-identical rather than rewritten without it.

#include <gtest/gtest.h>

#include <string>

#include "Frame.h"
#include "PlistCodec.h"
#include "Platform.h"
#include "PropertyList.h"
#include "TempDirectory.h"
#include "VLDynamicReader.h"

namespace {

std::string fromHex(const std::string& hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

struct MalformedList {
    const char* name;
    const char* hex;  // the bytes of the list
};

const MalformedList kMalformedLists[] = {
    // {"ThemeIdentifier": "THEME_GRAPH\x8a\x96E_ID"}: an ASCII string that is no UTF-8
    {"AsciiStringNotUtf8",
     "62706c6973743030d101025f100f5468656d654964656e7469666965725f10115448454d455f47524150488a96455f4944080b1d00000000"
     "00000101000000000000000300000000000000000000000000000031"},
    // The settings fuzzer's second find, reduced: an XML list with NUL bytes
    // in a string, and in a key.
    {"XmlStringWithNul",
     "3c3f786d6c2076657273696f6e3d22312e302220656e636f64696e673d225554462d38223f3e0a3c706c6973742076657273696f6e3d2231"
     "2e30223e3c646963743e3c6b65793e64656661756c744c6973743c2f6b65793e3c737472696e673e430000616d703c2f737472696e673e3c"
     "2f646963743e3c2f706c6973743e0a"},
    {"XmlKeyWithNul",
     "3c3f786d6c2076657273696f6e3d22312e302220656e636f64696e673d225554462d38223f3e0a3c706c6973742076657273696f6e3d2231"
     "2e30223e3c646963743e3c6b65793e64656661756c74004c6973743c2f6b65793e3c737472696e673e576f726b3c2f737472696e673e3c2f"
     "646963743e3c2f706c6973743e0a"},
};

void PrintTo(const MalformedList& list, std::ostream* os) { *os << list.name; }

const MalformedList kNulStringLists[] = {
    // {"k\u00e9\0k": "THEME_GRAPHITE_ID"}: a key with U+0000
    {"Utf16KeyWithNul",
     "62706c6973743030d1010264006b00e90000006b5f10115448454d455f47524150484954455f4944080b1400000000000001010000000000"
     "00000300000000000000000000000000000028"},
    // {"k": "x\u00e9\0y"}: a string value with U+0000
    {"Utf16ValueWithNul",
     "62706c6973743030d10102516b64007800e900000079080b0d00000000000001010000000000000003000000000000000000000000000000"
     "16"},
    // The settings fuzzer's first find: a dictionary whose first key is
    // UTF-16 "\u6465\u5b61\0\u744c..."
    {"FuzzerSettingsKey",
     "62706c6973743030d2010203046664655b610000744c697374597361766564506174685947726f6365726965735f10272f7661722f6d6f62"
     "696c652f4170706c69636174696f6e732f304635432f436c6561722e617070080d19232d0000000000000101000000000000000500000000"
     "000000000000000000000057"},
};

std::string listBytes(const MalformedList& list) { return fromHex(list.hex); }

class MalformedListTest : public ::testing::TestWithParam<MalformedList> {};

TEST_P(MalformedListTest, ParsesAsNothing) {
    const std::string bytes = listBytes(GetParam());
    EXPECT_FALSE(springboard::parsePropertyList(bytes.data(), bytes.size()).has_value());
}

TEST_P(MalformedListTest, AsClearPreferencesGivesDefaultPalette) {
    TempDirectory temp;
    const auto container = temp.make("Applications/C1");
    std::filesystem::create_directories(container / "Clear.app");
    writeFile(container / "Library/Preferences/com.realmacsoftware.clear.plist", listBytes(GetParam()));
    const auto theme = VLDynamicReader::initWithPath((container / "Clear.app").string())->themeFromSettings();
    EXPECT_EQ(theme.at("preferredTintColor"), VLDynamicReader::themeComponentsFromKey(Value()).at("preferredTintColor"));
}

TEST_P(MalformedListTest, AsSettingsFileReadsAsNoFileAndIsKeptByteIdentical) {
    TempDirectory temp;
    springboard::setHomeDirectory(temp.str());
    const auto settings = temp.path() / "Library/Preferences/com.kelbrin.velmora.plist";
    writeFile(settings, listBytes(GetParam()));
    EXPECT_FALSE(dictionaryWithContentsOfFile(settings.string()).has_value());
    EXPECT_FALSE(VLDynamicReader::initWithSavedPath()->clearPath().has_value());
    // A dictionary we cannot read whole may hold entries we cannot see.
    EXPECT_FALSE(VLDynamicReader::initWithPath("/a/Clear.app")->savePath());
    EXPECT_EQ(readFile(settings), listBytes(GetParam()));
}

TEST_P(MalformedListTest, AsIPCFrameIsRefused) {
    const std::string payload = listBytes(GetParam());
    const auto length = static_cast<std::uint32_t>(payload.size());
    std::string frame{static_cast<char>(length >> 24), static_cast<char>(length >> 16), static_cast<char>(length >> 8),
                      static_cast<char>(length)};
    frame += payload;
    EXPECT_FALSE(objcipc::decodeFrame(frame).has_value());
}

INSTANTIATE_TEST_SUITE_P(FuzzerFinds, MalformedListTest, ::testing::ValuesIn(kMalformedLists),
                         [](const auto& info) { return std::string(info.param.name); });

class NulStringListTest : public ::testing::TestWithParam<MalformedList> {};

TEST_P(NulStringListTest, ReadsWholeAndTheSettingsFileIsKeptByteIdentical) {
    const std::string bytes = listBytes(GetParam());
    const auto value = springboard::parsePropertyList(bytes.data(), bytes.size());
    ASSERT_TRUE(value.has_value());
    EXPECT_NE(value->description().find('\0'), std::string::npos);  // kept, not cut at

    TempDirectory temp;
    springboard::setHomeDirectory(temp.str());
    const auto settings = temp.path() / "Library/Preferences/com.kelbrin.velmora.plist";
    writeFile(settings, bytes);
    EXPECT_TRUE(dictionaryWithContentsOfFile(settings.string()).has_value());
    EXPECT_FALSE(VLDynamicReader::initWithPath("/a/Clear.app")->savePath());
    EXPECT_EQ(readFile(settings), bytes);
}

TEST_P(NulStringListTest, AsClearPreferencesGivesDefaultPalette) {
    TempDirectory temp;
    const auto container = temp.make("Applications/C1");
    std::filesystem::create_directories(container / "Clear.app");
    writeFile(container / "Library/Preferences/com.realmacsoftware.clear.plist", listBytes(GetParam()));
    const auto theme = VLDynamicReader::initWithPath((container / "Clear.app").string())->themeFromSettings();
    EXPECT_EQ(theme.at("preferredTintColor"), VLDynamicReader::themeComponentsFromKey(Value()).at("preferredTintColor"));
}

INSTANTIATE_TEST_SUITE_P(FuzzerFinds, NulStringListTest, ::testing::ValuesIn(kNulStringLists),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(NulStringTest, AThemeKeyOrMessageNameWithANulMatchesNothing) {
    const std::string vanilla("THEME_VANILLA_ID\0x", 18);
    EXPECT_EQ(VLDynamicReader::themeComponentsFromKey(Value(vanilla)).at("preferredTintColor"),
              VLDynamicReader::themeComponentsFromKey(Value()).at("preferredTintColor"));
    const auto body = objcipc::decodeFrame(
        objcipc::encodeFrame(objcipc::requestBody(std::string("VLIPC.Lists\0junk", 16), Dictionary{})));
    ASSERT_TRUE(body.has_value());
    EXPECT_EQ(objcipc::requestFromBody(*body)->name, std::string("VLIPC.Lists\0junk", 16));
}

TEST(MalformedFrameTest, IPCFuzzerFindIsRefused) {
    // {"reply": {"lists": ["Groce\x8a\x96es", "d", "Caf\u00e9"]}}, as the IPC fuzzer mutated it.
    const std::string frame = fromHex(
        "0000005a62706c6973743030d10102557265706c79d10304556c69737473a30506075947726f63658a9665736400430061006600e95008"
        "0b11141a1e28310000000000000101000000000000000800000000000000000000000000000032");
    EXPECT_FALSE(objcipc::decodeFrame(frame).has_value());
}

}  // namespace

namespace {

// Dates far from today: binary lists carry them exactly; XML carries whole
// seconds in the years 1 to 9999 and refuses the rest rather than altering it.
struct FarDate {
    double seconds;
    bool xml;  // whether XML carries it
};

class FarDateTest : public ::testing::TestWithParam<FarDate> {};

TEST_P(FarDateTest, SurvivesExactlyOrIsRefused) {
    const Value settings(Dictionary{{"when", Value(Date{GetParam().seconds})}});
    const std::string binary = springboard::binaryPropertyList(settings);
    const auto back = springboard::parsePropertyList(binary.data(), binary.size());
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, settings);
    const std::string xml = springboard::xmlPropertyList(settings);
    ASSERT_EQ(!xml.empty(), GetParam().xml);
    if (GetParam().xml) {
        EXPECT_EQ(springboard::parsePropertyList(xml.data(), xml.size()), settings);
    }
}

INSTANTIATE_TEST_SUITE_P(Dates, FarDateTest,
                         ::testing::Values(FarDate{1e300, false}, FarDate{-1e300, false}, FarDate{2147483648.5, false},
                                           FarDate{-2147485795.48, false}, FarDate{3e9, true}, FarDate{-6e10, true},
                                           FarDate{-63113904000.0, true}, FarDate{252423993599.0, true},
                                           // Either side of what a 32-bit count of seconds holds.
                                           FarDate{2147483647.0, true}, FarDate{2147483648.0, true},
                                           FarDate{-2147483648.0, true}, FarDate{-2147483649.0, true}),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST(FarDateTest, TravelsInAnIPCFrameExactly) {
    const Dictionary body = objcipc::requestBody("VLIPC.Lists", Dictionary{{"x", Value(Date{-2147485795.48})}});
    const auto back = objcipc::decodeFrame(objcipc::encodeFrame(body));
    ASSERT_TRUE(back.has_value());
    const auto request = objcipc::requestFromBody(*back);
    ASSERT_TRUE(request.has_value());
    EXPECT_EQ(request->message.at("x").asDate()->secondsSinceReferenceDate, -2147485795.48);
}

}  // namespace
