#include "Value.h"

#include <gtest/gtest.h>

#include <climits>

TEST(ValueEquality, FollowsFoundation) {
    struct Case {
        Value a, b;
        bool equal;
    };
    const Case cases[] = {
        {Value(1), Value(1.0), true},
        {Value(true), Value(1), true},
        {Value(false), Value(0.0), true},
        {Value(2), Value(3), false},
        {Value("1"), Value(1), false},
        {Value("Work"), Value("Work"), true},
        {Value("Work"), Value("work"), false},
        {Value(LONG_MAX), Value(LONG_MAX), true},
        {Value(LONG_MAX), Value(static_cast<double>(LONG_MAX) - 4096.0), false},
        {Value(), Value(), false},
        {Value(), Value(""), false},
        {Value(Array{"a", 1}), Value(Array{"a", 1.0}), true},
        {Value(Array{"a"}), Value(Array{"a", "b"}), false},
        {Value(Dictionary{{"k", "v"}}), Value(Dictionary{{"k", "v"}}), true},
        {Value(Dictionary{{"k", "v"}}), Value(Dictionary{{"k", "w"}}), false},
        {Value(Data{{1, 2}}), Value(Data{{1, 2}}), true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.a.isEqual(c.b), c.equal) << c.a.description() << " vs " << c.b.description();
        EXPECT_EQ(c.b.isEqual(c.a), c.equal) << c.b.description() << " vs " << c.a.description();
    }
}

TEST(ValueIntegerValue, ParsesLikeNSString) {
    struct Case {
        Value value;
        std::int64_t expected;
    };
    const Case cases[] = {
        {Value("42"), 42},
        {Value("  \t\n-17abc"), -17},
        {Value("+8"), 8},
        {Value("abc"), 0},
        {Value(""), 0},
        {Value("- 5"), 0},
        {Value("9223372036854775807"), LLONG_MAX},
        {Value("9223372036854775808"), LLONG_MAX},
        {Value("99999999999999999999999"), LLONG_MAX},
        {Value("-9223372036854775808"), LLONG_MIN},
        {Value("-99999999999999999999999"), LLONG_MIN},
        {Value(7), 7},
        {Value(true), 1},
        {Value(-3.9), -3},
        {Value(1e300), LLONG_MAX},
        {Value(), 0},
        {Value(Array{}), 0},
    };
    for (const auto& c : cases) EXPECT_EQ(c.value.integerValue(), c.expected) << c.value.description();
}

TEST(ValueDescription, ScalarsAsFormatArguments) {
    EXPECT_EQ(Value().description(), "(null)");
    EXPECT_EQ(Value("a b").description(), "a b");
    EXPECT_EQ(Value(9223372036854775807L).description(), "9223372036854775807");
    EXPECT_EQ(Value(true).description(), "1");
    EXPECT_EQ(Value(0.5).description(), "0.5");
    EXPECT_EQ(Value(2.0).description(), "2");
    EXPECT_EQ(Value(Data{{0xde, 0xad, 0xbe, 0xef, 0x01}}).description(), "<deadbeef 01>");
    EXPECT_EQ(Value(Date{0}).description(), "2001-01-01 00:00:00 +0000");
}

TEST(ValueDescription, CollectionsUseTheOldStylePropertyListFormat) {
    Dictionary values{{"list", Array{"Groceries"}}, {"task", "Buy milk"}};
    EXPECT_EQ(describe(values),
              "{\n"
              "    list =     (\n"
              "        Groceries\n"
              "    );\n"
              "    task = \"Buy milk\";\n"
              "}");
    EXPECT_EQ(describe(Array{}), "(\n)");
    EXPECT_EQ(describe(Dictionary{}), "{\n}");
    EXPECT_EQ(Value(Array{"", "a\"b\\c", "x\ny", 12}).description(),
              "(\n    \"\",\n    \"a\\\"b\\\\c\",\n    \"x\\ny\",\n    12\n)");
    // Non-ASCII text is written as UTF-16 escapes, astral characters as pairs.
    EXPECT_EQ(Value(Array{"caf\xc3\xa9", "\xf0\x9f\x98\x80"}).description(),
              "(\n    \"caf\\U00e9\",\n    \"\\Ud83d\\Ude00\"\n)");
}

TEST(ValueKinds, AccessorsOnlyAnswerForTheirKind) {
    Value s("x");
    EXPECT_TRUE(s.isString());
    EXPECT_EQ(s.asArray(), nullptr);
    EXPECT_EQ(s.asInteger(), std::nullopt);
    EXPECT_EQ(Value(std::optional<std::string>()).kind(), Value::Kind::nil);
    EXPECT_EQ(Value(static_cast<const char*>(nullptr)).kind(), Value::Kind::nil);
    EXPECT_TRUE(Value(1.5).isNumber());
    EXPECT_EQ(*Value(3).asReal(), 3.0);
    // Copies share the immutable collection.
    Value a(Array{"one"});
    Value b = a;
    EXPECT_EQ(a.asArray(), b.asArray());
    EXPECT_TRUE(a == b);
    EXPECT_TRUE(Value() == Value());
}

TEST(ValueSharedString, OnlyAStringHasTextAndACopyOfItSharesTheBytes) {
    const Value title(std::string("Groceries and errands"));
    ASSERT_NE(title.asSharedString(), nullptr);
    const Value copy(*title.asSharedString());
    EXPECT_EQ(copy.asString()->data(), title.asString()->data());
    EXPECT_TRUE(copy.isEqual(title));
    for (const Value& other : {Value(), Value(1), Value(Array{title}), Value(Data{})})
        EXPECT_EQ(other.asSharedString(), nullptr) << other.description();
}
