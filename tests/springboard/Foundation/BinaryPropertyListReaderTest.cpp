// Our binary property-list reader: exact values, and a decode budget that
// stops a small list of many references from costing memory out of
// proportion to its size, while shared strings cost once.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "BinaryPropertyListReader.h"
#include "PlistCodec.h"

namespace {

std::string bigEndian(std::uint64_t v, int bytes) {
    std::string out;
    for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
    return out;
}

std::string repeat(const std::string& piece, std::size_t n) {
    std::string out;
    for (std::size_t i = 0; i < n; ++i) out += piece;
    return out;
}

// {"k": [true x n]}, every element a reference to one shared `true`.
std::string sharedTrueList(std::uint32_t n) {
    std::string objects = "\xD1\x01\x02" "\x51k" "\xAF\x12" + bigEndian(n, 4) + std::string(n, '\x03') + "\x09";
    const std::uint64_t offsets[] = {8, 11, 13, 13 + 6 + n};
    std::string table;
    for (auto o : offsets) table += bigEndian(o, 4);
    return "bplist00" + objects + table + std::string(6, '\0') + '\x04' + '\x01' + bigEndian(4, 8) + bigEndian(0, 8) +
           bigEndian(8 + objects.size(), 8);
}

TEST(BinaryReaderBudget, ManyReferencesToOneObjectAreRefusedUnlessTheBudgetAllows) {
    const std::string bytes = sharedTrueList(1'000'000);
    ASSERT_LE(bytes.size(), 1u << 20);
    // Decoded, a million Values are some 40 MB: far past the default budget.
    EXPECT_FALSE(springboard::readBinaryPropertyListDictionary(bytes, springboard::defaultDecodeBudget(bytes.size())));
    const auto decoded = springboard::readBinaryPropertyListDictionary(bytes, std::size_t{1} << 30);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->at("k").asArray()->size(), 1'000'000u);
    // A small list of the same shape fits the default budget.
    const std::string small = sharedTrueList(100);
    EXPECT_TRUE(springboard::readBinaryPropertyListDictionary(small, springboard::defaultDecodeBudget(small.size())));
}

// Values that once came back altered, and what they are now.
struct ExactCase {
    const char* name;
    Value value;
};

const ExactCase kExact[] = {
    {"LargestUnsigned", Value::unsignedInteger(std::numeric_limits<std::uint64_t>::max())},
    {"JustAboveSigned", Value::unsignedInteger(std::uint64_t{1} << 63)},
    {"SmallestSigned", Value(std::numeric_limits<long long>::min())},
    {"DateAfter2069", Value(Date{3e9})},
    {"DateBefore1932", Value(Date{-6e10})},
    {"AsciiWithNul", Value(std::string("THEME_VANILLA_ID\0x", 18))},
    {"Utf16WithNul", Value(std::string("k\xC3\xA9\0y", 5))},
    {"HugeDate", Value(Date{1e300})},
};

class BinaryExactTest : public ::testing::TestWithParam<ExactCase> {};

TEST_P(BinaryExactTest, ComesBackAsItWent) {
    const Value root(Dictionary{{std::string("key\0", 4), GetParam().value}});
    const std::string bytes = springboard::binaryPropertyList(root);
    const auto back = springboard::parsePropertyList(bytes.data(), bytes.size());
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, root);
    EXPECT_EQ(springboard::binaryPropertyList(*back), bytes);
}

INSTANTIATE_TEST_SUITE_P(Values, BinaryExactTest, ::testing::ValuesIn(kExact),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ValueUnsigned, CompareAndPrintExactly) {
    const Value top = Value::unsignedInteger(std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(top.kind(), Value::Kind::integer);
    EXPECT_EQ(top.description(), "18446744073709551615");
    EXPECT_FALSE(top.asInteger().has_value());
    EXPECT_EQ(top.integerValue(), std::numeric_limits<std::int64_t>::max());
    EXPECT_FALSE(top.isEqual(Value(-1)));
    EXPECT_TRUE(top.isEqual(Value::unsignedInteger(std::numeric_limits<std::uint64_t>::max())));
    EXPECT_EQ(Value::unsignedInteger(5), Value(5));
    // A string with a NUL is kept whole, so it matches no shorter name.
    EXPECT_NE(*Value(std::string("VLIPC.Lists\0junk", 16)).asString(), "VLIPC.Lists");
}

TEST(ValueDescription, DatesFarOutsideTheCalendarStayDefined) {
    // Under UBSan (float-cast-overflow) the old conversion stopped the test.
    for (double seconds : {1e300, -1e300, std::numeric_limits<double>::quiet_NaN()})
        EXPECT_FALSE(Value(Date{seconds}).description().empty()) << seconds;
    EXPECT_EQ(Value(Date{0}).description(), "2001-01-01 00:00:00 +0000");
}

// A frame's header goes in front of the property list in the writer's own
// buffer: the bytes after the room must be the property list itself, with
// offsets counted from its start, not the buffer's.
struct RoomCase {
    const char* name;
    Value value;
};

Array titles(std::size_t n, const std::string& stem) {
    Array out;
    for (std::size_t i = 0; i < n; ++i) out.emplace_back(stem + std::to_string(i));
    return out;
}

const RoomCase kRoom[] = {
    {"EmptyDictionary", Value(Dictionary{})},
    {"ShortLongAndFifteen",
     Value(Dictionary{{"lists", Value(Array{Value("a"), Value("fifteen chars!!"), Value(std::string(40, 'x'))})}})},
    {"Utf16AndNested", Value(Dictionary{{"reply", Value(Dictionary{{"lists", Value(Array{Value("caf\xC3\xA9"),
                                                                                          Value(Array{Value("b")})})}})}})},
    {"WideReferences", Value(Dictionary{{"lists", Value(titles(300, "Groceries and errands "))}})},
    {"OtherKinds", Value(Dictionary{{"d", Value(Data{{1, 2, 3}})}, {"n", Value(7)}, {"t", Value(Date{1.5})}})},
};

class BinaryWriterRoomTest : public ::testing::TestWithParam<RoomCase> {};

TEST_P(BinaryWriterRoomTest, RoomInFrontLeavesThePropertyListUnchanged) {
    const Value& value = GetParam().value;
    const std::string plain = springboard::binaryPropertyList(value);
    const std::string roomy = springboard::binaryPropertyList(value, 4);
    EXPECT_EQ(roomy, std::string(4, '\0') + plain);
    const auto back = springboard::readBinaryPropertyList(std::string_view(roomy).substr(4), std::size_t{1} << 20);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, value);
}

INSTANTIATE_TEST_SUITE_P(Values, BinaryWriterRoomTest, ::testing::ValuesIn(kRoom),
                         [](const auto& info) { return std::string(info.param.name); });

// {"k": array}, objects laid out as given; references and offsets one byte.
// Object 0 is the dictionary, 1 its key, 2 the array.
std::string listOf(const std::string& array, const std::vector<std::string>& members) {
    std::vector<std::string> objects = {"\xD1\x01\x02", "\x51k", array};
    objects.insert(objects.end(), members.begin(), members.end());
    std::string out = "bplist00", table;
    for (const auto& object : objects) {
        table += static_cast<char>(out.size());
        out += object;
    }
    const std::size_t tableAt = out.size();
    return out + table + std::string(6, '\0') + '\x01' + '\x01' + bigEndian(objects.size(), 8) + bigEndian(0, 8) +
           bigEndian(tableAt, 8);
}

// Strings in an array are read on their own path: each rule holds there too.
struct MemberCase {
    const char* name;
    std::string bytes;
    bool accepted;
};

const MemberCase kMembers[] = {
    {"AsciiAndUtf8", listOf("\xA2\x03\x04", {"\x52" "ab", "\x52\xC3\xA9"}), true},
    {"MixedWithNested", listOf("\xA2\x03\x04", {"\x51" "a", "\xA1\x03"}), true},
    {"NotUtf8", listOf("\xA2\x03\x04", {"\x51" "a", "\x52" "a\xFF"}), false},
    {"RunsIntoTheOffsetTable", listOf("\xA2\x03\x04", {"\x51" "a", "\x55" "ab"}), false},
    {"NoSuchObject", listOf("\xA2\x03\x09", {"\x51" "a", "\x51" "b"}), false},
    {"ItselfAsMember", listOf("\xA2\x03\x02", {"\x51" "a"}), false},
    {"EmptyUtf16First", listOf("\xA1\x03", {std::string(1, '\x60')}), true},
    {"EmptyUtf16AfterAscii", listOf("\xA2\x03\x04", {"\x51" "x", std::string(1, '\x60')}), true},
    {"LoneSurrogate", listOf("\xA1\x03", {std::string("\x61\xD8\x00", 3)}), false},
};

class BinaryReaderMemberTest : public ::testing::TestWithParam<MemberCase> {};

TEST_P(BinaryReaderMemberTest, StringMembersKeepEveryCheck) {
    const auto& bytes = GetParam().bytes;
    EXPECT_EQ(springboard::readBinaryPropertyListDictionary(bytes, std::size_t{1} << 20).has_value(),
              GetParam().accepted);
}

INSTANTIATE_TEST_SUITE_P(Lists, BinaryReaderMemberTest, ::testing::ValuesIn(kMembers),
                         [](const auto& info) { return std::string(info.param.name); });

// A list of `objects`, object 0 the root, with two-byte references (spelt
// by ref) and four-byte offsets.
std::string ref(std::size_t index) { return bigEndian(index, 2); }

std::string listOfObjects(const std::vector<std::string>& objects) {
    std::string out = "bplist00", table;
    for (const auto& object : objects) {
        table += bigEndian(out.size(), 4);
        out += object;
    }
    const std::size_t tableAt = out.size();
    return out + table + std::string(6, '\0') + '\x04' + '\x02' + bigEndian(objects.size(), 8) + bigEndian(0, 8) +
           bigEndian(tableAt, 8);
}

// An object of `type` (0x4 data, 0x5 ASCII, 0x6 UTF-16) holding `count`
// units of `content`.
std::string object(unsigned char type, std::size_t count, const std::string& content) {
    if (count < 15) return static_cast<char>(type << 4 | count) + content;
    return std::string{static_cast<char>(type << 4 | 0x0F), '\x11'} + bigEndian(count, 2) + content;
}

// A dictionary of `keys` entries "k0", "k1", ..., every value a reference to
// the one object `shared`, as writers that store equal values once make it.
std::string sharedValueList(std::size_t keys, const std::string& shared) {
    std::string dictionary = object(0xD, keys, "");
    for (std::size_t i = 0; i < keys; ++i) dictionary += ref(1 + i);
    for (std::size_t i = 0; i < keys; ++i) dictionary += ref(1 + keys);
    std::vector<std::string> objects = {dictionary};
    for (std::size_t i = 0; i < keys; ++i) {
        const std::string name = "k" + std::to_string(i);
        objects.push_back(object(0x5, name.size(), name));
    }
    objects.push_back(shared);
    return listOfObjects(objects);
}

struct SharedCase {
    const char* name;
    std::string bytes;
    bool readAsFrame;  // under the tight budget of IPC frames
};

const SharedCase kShared[] = {
    // A string's bytes are shared between the places that hold it.
    {"LongStringBehindManyKeys", sharedValueList(200, object(0x5, 1000, std::string(1000, 's'))), true},
    {"LongUtf16StringBehindManyKeys", sharedValueList(200, object(0x6, 600, repeat("\x20\xAC", 600))), true},
    {"EmptyUtf16StringBehindManyKeys", sharedValueList(50, object(0x6, 0, "")), true},
    // Data is copied at every reference: a file may, a frame may not.
    {"LongDataBehindManyKeys", sharedValueList(1000, object(0x4, 1000, std::string(1000, 'd'))), false},
};

class BinarySharedValueTest : public ::testing::TestWithParam<SharedCase> {};

TEST_P(BinarySharedValueTest, FilesReadItAndFramesWithinTheirBudget) {
    const std::string& bytes = GetParam().bytes;
    const auto file = springboard::parsePropertyListDictionary(bytes.data(), bytes.size());
    ASSERT_TRUE(file.has_value());
    EXPECT_EQ(file->at("k0"), file->at("k1"));
    if (const auto text = file->at("k0").asString(); text && !text->empty()) {
        EXPECT_EQ(text->data(), file->at("k1").asString()->data()) << "one string, shared";
    }
    const auto frame = springboard::readBinaryPropertyListDictionary(bytes, springboard::defaultDecodeBudget(bytes.size()));
    EXPECT_EQ(frame.has_value(), GetParam().readAsFrame);
}

INSTANTIATE_TEST_SUITE_P(Lists, BinarySharedValueTest, ::testing::ValuesIn(kShared),
                         [](const auto& info) { return std::string(info.param.name); });

// Text that is not ASCII travels as UTF-16.
struct Utf16Case {
    const char* name;
    std::string written;
    std::string read;
};

const Utf16Case kUtf16[] = {
    {"Accented", "Liste n\xC2\xB0" "3 \xC3\xA0 faire", "Liste n\xC2\xB0" "3 \xC3\xA0 faire"},
    {"SurrogatePairs", repeat("\xF0\x9F\x98\x80", 3), repeat("\xF0\x9F\x98\x80", 3)},
    {"ThreeByteUnits", repeat("\xE2\x82\xAC", 20), repeat("\xE2\x82\xAC", 20)},
    {"NotUtf8BecomesReplacement", "a\xFF" "b\xC3", "a\xEF\xBF\xBD" "b\xEF\xBF\xBD"},
    {"PairsPastTheStackBuffer", repeat("\xF0\x9F\x98\x80", 1000), repeat("\xF0\x9F\x98\x80", 1000)},
};

class BinaryUtf16Test : public ::testing::TestWithParam<Utf16Case> {};

TEST_P(BinaryUtf16Test, ComesBackAsUtf8) {
    const Value list(Array{Value(GetParam().written), Value("ascii")});
    const std::string bytes = springboard::binaryPropertyList(list);
    const auto back = springboard::readBinaryPropertyList(bytes, std::size_t{1} << 20);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, Value(Array{Value(GetParam().read), Value("ascii")}));
}

INSTANTIATE_TEST_SUITE_P(Texts, BinaryUtf16Test, ::testing::ValuesIn(kUtf16),
                         [](const auto& info) { return std::string(info.param.name); });

// A list of the given objects, object 0 its root; references and offsets
// one byte.
std::string objectsList(const std::vector<std::string>& objects) {
    std::string out = "bplist00", table;
    for (const auto& object : objects) {
        table += static_cast<char>(out.size());
        out += object;
    }
    const std::size_t tableAt = out.size();
    return out + table + std::string(6, '\0') + '\x01' + '\x01' + bigEndian(objects.size(), 8) + bigEndian(0, 8) +
           bigEndian(tableAt, 8);
}

// {"k": "v", "z": <object 4, then the rest>}: one good entry beside another.
std::string beside(const std::vector<std::string>& z) {
    std::vector<std::string> objects = {"\xD2\x01\x02\x03\x04", "\x51k", "\x51z", "\x51v"};
    objects.insert(objects.end(), z.begin(), z.end());
    return objectsList(objects);
}

struct EntryCase {
    const char* name;
    std::string bytes;
};

const EntryCase kEntries[] = {
    {"Plain", beside({"\x10\x07"})},
    {"DataAndReals", beside({"\xA3\x05\x06\x07", "\x42xy", "\x23" + bigEndian(0x3FF8000000000000, 8), "\x33" + std::string(8, '\0')})},
    {"Utf16KeyAndValue", objectsList({"\xD2\x01\x02\x03\x04", "\x51k", "\x61\x00z", "\x51v", "\x62\x00\xE9\x00\x41"})},
    {"NotUtf8Beside", beside({"\x52" "a\xFF"})},
    {"LoneSurrogateBeside", beside({"\x61\xDC\x00"})},
    {"PairBeside", beside({"\x62\xD8\x3D\xDE\x00"})},
    {"DeepBadString", beside({"\xA2\x05\x06", "\x10\x01", "\xA1\x07", "\x51\x80"})},
    {"CycleBeside", beside({"\xA1\x04"})},
    {"NullInsideBeside", beside({"\xD1\x05\x06", "\x51" "a", "\x00"})},
    {"UidBeside", beside({"\x80\x01"})},
    {"NumberAsKey", objectsList({"\xD2\x01\x02\x03\x03", "\x51k", "\x10\x01", "\x51v"})},
    {"SharedValue", objectsList({"\xD2\x01\x02\x03\x03", "\x51k", "\x51z", "\x51v"})},
    {"KeyTwice", objectsList({"\xD2\x01\x01\x02\x03", "\x51k", "\x51v", "\x10\x02"})},
    {"BadValueOfTheKey", objectsList({"\xD1\x01\x02", "\x51k", "\x52" "a\xFF"})},
    {"RootIsArray", objectsList({"\xA1\x01", "\x51k"})},
    {"SharedStringBeside", objectsList({"\xD2\x01\x02\x03\x04", "\x51k", "\x51z", "\x5F\x10\x14" + std::string(20, 'x'), "\xA3\x03\x03\x03"})},
    {"LongKeyBeside", objectsList({"\xD2\x01\x02\x03\x04", "\x51k", "\x5F\x10\x14" + std::string(20, 'y'), "\x51v", "\x10\x07"})},
    {"LongStringsBeside", beside({"\xA2\x05\x06", "\x5F\x10\x14" + std::string(20, 'x'), "\x6F\x10\x10" + bigEndian(0x00E9, 2) + std::string(30, 'a')})},
};

class BinaryEntryTest : public ::testing::TestWithParam<EntryCase> {};

// One entry reads as the whole dictionary gives it, under every budget:
// refused with it, nil where it has none.
TEST_P(BinaryEntryTest, ReadsAsTheWholeDictionaryWould) {
    const std::string& bytes = GetParam().bytes;
    for (std::size_t budget = 0; budget <= 2048; ++budget) {
        const auto whole = springboard::readBinaryPropertyListDictionary(bytes, budget);
        for (const char* key : {"k", "z", "absent"}) {
            std::optional<Value> expected;
            if (whole) expected = whole->count(key) ? whole->at(key) : Value();
            const auto entry = springboard::readBinaryPropertyListDictionaryEntry(bytes, budget, key);
            ASSERT_EQ(entry, expected) << key << " under " << budget;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Lists, BinaryEntryTest, ::testing::ValuesIn(kEntries),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BinaryEntry, RefusalsAndDuplicatesAreTheWholeReadsOwn) {
    // The table above compares only: these pin what the whole read gives.
    const auto entry = [](const std::string& bytes, const char* key) {
        return springboard::readBinaryPropertyListDictionaryEntry(bytes, std::size_t{1} << 20, key);
    };
    EXPECT_EQ(entry(kEntries[0].bytes, "k"), Value("v"));
    EXPECT_EQ(entry(kEntries[0].bytes, "absent"), Value());
    EXPECT_EQ(entry(kEntries[12].bytes, "k"), Value(2));
    for (const std::size_t bad : {3, 4, 6, 7, 8, 9, 10, 13, 14}) EXPECT_FALSE(entry(kEntries[bad].bytes, "k")) << bad;
}

}  // namespace
