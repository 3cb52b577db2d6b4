// Our binary property-list reader: exact values, and a decode budget that
// stops a small list of many references from costing memory out of
// proportion to its size.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "BinaryPropertyListReader.h"
#include "PlistCodec.h"

namespace {

std::string bigEndian(std::uint64_t v, int bytes) {
    std::string out;
    for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
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

}  // namespace
