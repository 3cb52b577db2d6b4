#include <gtest/gtest.h>

#include <sstream>

#include "Trace.h"

using sim::Json;

namespace {

TEST(TraceJson, ValuesBecomeTheirJsonForms) {
    struct Case {
        Value value;
        const char* json;
    };
    const Case cases[] = {
        {Value(), "null"},
        {Value(true), "true"},
        {Value(9223372036854775807LL), "9223372036854775807"},
        {Value(-3), "-3"},
        {Value(0.883633), "0.883633"},
        {Value("Café & co"), "\"Café & co\""},
        {Value(Array{Value("a"), Value(1), Value()}), "[\"a\",1,null]"},
        {Value(Dictionary{{"task", Value("Milk")}, {"list", Value(Array{Value("Groceries")})}}),
         "{\"list\":[\"Groceries\"],\"task\":\"Milk\"}"},
        {Value(Data{{'h', 'i', '!', 0xff}}), "{\"data\":\"aGkh/w==\"}"},
        {Value(Date{1.5}), "{\"date\":1.5}"},
    };
    for (const auto& c : cases) EXPECT_EQ(sim::jsonFromValue(c.value).dump(), c.json);
}

TEST(TraceJson, ColoursKeepTheirKind) {
    EXPECT_EQ(sim::jsonFromColor(UIColor::colorWithRed(0.213926, 0.213926, 0.213926, 1)).dump(),
              "{\"rgb\":[0.213926,0.213926,0.213926],\"alpha\":1.0}");
    EXPECT_EQ(sim::jsonFromColor(UIColor::colorWithWhite(1, 1)).dump(), "{\"white\":1.0,\"alpha\":1.0}");
}

TEST(TraceJson, JsonBecomesValues) {
    auto json = nlohmann::json::parse(R"({"identifier":"x","n":[1,2.5,true,null],"big":18446744073709551615})");
    Value value = sim::valueFromJson(json);
    ASSERT_TRUE(value.isDictionary());
    const Dictionary& d = *value.asDictionary();
    EXPECT_EQ(d.at("identifier"), Value("x"));
    const Array& n = *d.at("n").asArray();
    EXPECT_EQ(n[0], Value(1));
    EXPECT_EQ(n[1], Value(2.5));
    EXPECT_EQ(n[2], Value(true));
    EXPECT_TRUE(n[3].isNil());
    EXPECT_EQ(d.at("big").kind(), Value::Kind::real);
}

TEST(Trace, WritesOneObjectPerLineEventFirst) {
    std::ostringstream out;
    sim::Trace trace(&out);
    std::vector<std::string> seen;
    trace.addObserver([&](const Json& event) { seen.push_back(event["event"]); });
    trace.emit("dismiss");
    trace.emit("setValue", Json{{"key", "list"}, {"value", "Work"}});
    EXPECT_EQ(out.str(), "{\"event\":\"dismiss\"}\n{\"event\":\"setValue\",\"key\":\"list\",\"value\":\"Work\"}\n");
    EXPECT_EQ(seen, (std::vector<std::string>{"dismiss", "setValue"}));
}

TEST(Trace, InvalidUtf8IsReplacedNotThrown) {
    std::ostringstream out;
    sim::Trace trace(&out);
    EXPECT_NO_THROW(trace.emit("log", Json{{"text", std::string("bad \xff byte")}}));
    EXPECT_NE(out.str().find("bad \xef\xbf\xbd byte"), std::string::npos);
}

}  // namespace
