// The binary property-list writer (linear, unlike libplist's, which is
// quadratic on strings sharing a prefix, as IPC replies of list titles do):
// whatever it writes, the binary reader reads back as the same value.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "PlistCodec.h"

namespace {

struct RoundTrip {
    const char* name;
    Value value;
};

Array manyTitles(int count) {
    Array titles;
    for (int i = 0; i < count; ++i) titles.emplace_back("Groceries and errands " + std::to_string(i));
    return titles;
}

const RoundTrip kRoundTrips[] = {
    {"Scalars", Value(Dictionary{{"yes", Value(true)}, {"no", Value(false)}, {"pi", Value(3.25)},
                                 {"when", Value(Date{410227200.5})}})},
    // The IPC fuzzer's last find: libplist hands a date before the reference
    // date out as truncated seconds plus the fraction's size, which read back
    // -2.99997 as -1.00003.
    {"DatesBeforeTheReferenceDate", Value(Array{Value(Date{-2.5}), Value(Date{-3.25}), Value(Date{-978307200.75})})},
    {"IntegerWidths", Value(Array{Value(0), Value(255), Value(256), Value(65535), Value(65536),
                                  Value(static_cast<long long>(4294967295LL)), Value(static_cast<long long>(4294967296LL)),
                                  Value(-1), Value(std::numeric_limits<long long>::min()),
                                  Value(std::numeric_limits<long long>::max())})},
    {"Strings", Value(Array{Value(""), Value("ascii"), Value("Caf\xC3\xA9"), Value("\xF0\x9F\x93\x9D note"),
                            Value(std::string(40, 'x')), Value("\xE4\xB8\xAD\xE6\x96\x87")})},
    {"NonAsciiKeys", Value(Dictionary{{"cl\xC3\xA9", Value(1)}, {"\xF0\x9F\x93\x9D", Value("v")}})},
    {"Data", Value(Array{Value(Data{}), Value(Data{{0, 1, 2, 255}}), Value(Data{std::vector<std::uint8_t>(300, 7)})})},
    {"Nesting", Value(Dictionary{{"a", Value(Array{Value(Dictionary{{"b", Value(Array{Value(Array{})})}})})},
                                 {"empty", Value(Dictionary{})}})},
    {"ThousandsOfObjects", Value(Dictionary{{"lists", Value(manyTitles(70000))}})},
    // Each count and integer at the edge of its width: the writer sizes its
    // buffer once from these, so one byte too few would write past it.
    {"MarkerWidths", Value(Array{Value(std::string(14, 'a')), Value(std::string(15, 'b')), Value(std::string(255, 'c')),
                                 Value(std::string(256, 'd')), Value(std::string(65536, 'e')),
                                 Value(Array(15, Value(1))), Value::unsignedInteger(~std::uint64_t{0}),
                                 Value(std::string(70000, '\x7F') + "\xC3\xA9")})},
};

// Names the case, so test names do not carry the value's bytes.
void PrintTo(const RoundTrip& roundTrip, std::ostream* os) { *os << roundTrip.name; }

class BinaryPropertyListTest : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(BinaryPropertyListTest, LibplistReadsBackTheSameValue) {
    const std::string bytes = springboard::binaryPropertyList(GetParam().value);
    ASSERT_EQ(bytes.compare(0, 8, "bplist00"), 0);
    const auto back = springboard::parsePropertyList(bytes.data(), bytes.size());
    ASSERT_TRUE(back.has_value());
    EXPECT_TRUE(back->isEqual(GetParam().value)) << back->description().substr(0, 500);
}

INSTANTIATE_TEST_SUITE_P(Values, BinaryPropertyListTest, ::testing::ValuesIn(kRoundTrips),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BinaryPropertyListWriterTest, LeavesOutNilAndReplacesBytesThatAreNoUtf8) {
    const Value value(Dictionary{{"gone", Value()}, {"kept", Value(Array{Value(), Value("ok"), Value("a\xFF" "b")})}});
    const std::string bytes = springboard::binaryPropertyList(value);
    const auto back = springboard::parsePropertyList(bytes.data(), bytes.size());
    ASSERT_TRUE(back.has_value());
    const Value expected(Dictionary{{"kept", Value(Array{Value("ok"), Value("a\xEF\xBF\xBD" "b")})}});
    EXPECT_TRUE(back->isEqual(expected)) << back->description();
    EXPECT_EQ(springboard::binaryPropertyList(Value()), "");
}

// Every byte no UTF-8 becomes a unit of its own: the most a string can grow
// to, and what the writer's buffer is sized for.
TEST(BinaryPropertyListWriterTest, TextOfOnlyStrayBytesFitsItsBound) {
    std::string replaced;
    for (int i = 0; i < 70000; ++i) replaced += "\xEF\xBF\xBD";
    const Value value(Array{Value(std::string(70000, '\xFF')), Value(Dictionary{{"\x80", Value()}, {"\x81", Value("\x82")}})});
    const std::string bytes = springboard::binaryPropertyList(value);
    const auto back = springboard::parsePropertyList(bytes.data(), bytes.size());
    ASSERT_TRUE(back.has_value());
    const Value expected(Array{Value(replaced), Value(Dictionary{{"\xEF\xBF\xBD", Value("\xEF\xBF\xBD")}})});
    EXPECT_TRUE(back->isEqual(expected));
}

}  // namespace
