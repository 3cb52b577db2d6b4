#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <string>

#include "NSString.h"
#include "NSURL.h"

namespace {

struct URLCase {
    std::string text;
    bool valid;
};

TEST(NSURLTest, URLWithStringAcceptsOnlyWellFormedStrings) {
    const URLCase cases[] = {
        {"clearapp://task/create?listName=Home&taskName=Milk", true},
        {"clearapp://list/create?listName=", true},
        {"http://example.com/a%20b", true},
        {"http://example.com/%7e%7E", true},
        {"http://[::1]:80/path;p?q=1#frag", true},
        {"a:!$&'()*+,;=-._~@/?", true},
        {"relative/path", true},
        {"#only-fragment", true},
        {"", false},
        {"clearapp://task/create?listName=My List", false},  // space
        {"http://x/\t", false},
        {"http://x/\x7f", false},
        {"http://x/caf\xc3\xa9", false},  // non-ASCII
        {"http://x/\"", false},
        {"http://x/<", false},
        {"http://x/>", false},
        {"http://x/\\", false},
        {"http://x/^", false},
        {"http://x/`", false},
        {"http://x/{", false},
        {"http://x/|", false},
        {"http://x/}", false},
        {"http://x/%", false},
        {"http://x/%4", false},
        {"http://x/%4g", false},
        {"http://x/%G0", false},
        {"http://x/%%41", false},
        {"http://x/#a#b", false},
        {"http://x/##", false},
    };
    for (const auto& c : cases) {
        const auto url = NSURL::URLWithString(c.text);
        EXPECT_EQ(url != nullptr, c.valid) << "\"" << c.text << "\"";
        if (url) {
            EXPECT_EQ(url->absoluteString(), c.text);
        }
    }
}

TEST(NSURLTest, SchemeIsTheValidNameBeforeTheFirstColon) {
    const std::pair<std::string, std::string> cases[] = {
        {"clearapp://task/create", "clearapp"},
        {"HTTP://x", "HTTP"},
        {"a+b-c.d9:rest", "a+b-c.d9"},
        {"mailto:someone@example.com", "mailto"},
        {"no-colon-here", ""},
        {":empty", ""},
        {"9digit:x", ""},
        {"bad_char:x", ""},
        {"path/with:colon", ""},
    };
    for (const auto& [text, scheme] : cases) {
        const auto url = NSURL::URLWithString(text);
        ASSERT_NE(url, nullptr) << text;
        EXPECT_EQ(url->scheme(), scheme) << text;
    }
}

std::string escaped(const std::string& s) {
    const auto result = stringByAddingPercentEscapesUsingEncoding(s, NSUTF8StringEncoding);
    EXPECT_TRUE(result.has_value());
    return result.value_or("<absent>");
}

TEST(PercentEscapesTest, WholeURLEscapingKeepsEveryLegalCharacterIncludingDelimiters) {
    const std::string kept =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789!$&'()*+,-./:;=?@_~";
    EXPECT_EQ(escaped(kept), kept);
    EXPECT_EQ(escaped("clearapp://task/create?listName=Home&taskName=Buy milk"),
              "clearapp://task/create?listName=Home&taskName=Buy%20milk");
}

TEST(PercentEscapesTest, WholeURLEscapingWritesOtherBytesAsUpperCaseHex) {
    const std::pair<std::string, std::string> cases[] = {
        {" ", "%20"},        {"\"", "%22"},  {"#", "%23"},  {"%", "%25"},  {"<", "%3C"},
        {">", "%3E"},        {"[", "%5B"},   {"\\", "%5C"}, {"]", "%5D"},  {"^", "%5E"},
        {"`", "%60"},        {"{", "%7B"},   {"|", "%7C"},  {"}", "%7D"},  {"\x7f", "%7F"},
        {"\n", "%0A"},       {"\t", "%09"},  {std::string(1, '\0'), "%00"},
        {"caf\xc3\xa9", "caf%C3%A9"},                    // two-byte UTF-8
        {"\xe2\x82\xac", "%E2%82%AC"},                   // euro sign, three bytes
        {"\xf0\x9f\x8d\x8e", "%F0%9F%8D%8E"},            // emoji, four bytes
        {"100%", "100%25"},                              // an existing % is escaped again
        {"", ""},
    };
    for (const auto& [input, output] : cases) EXPECT_EQ(escaped(input), output) << input;
}

TEST(PercentEscapesTest, EveryASCIIByteIsEitherKeptOrEscaped) {
    const std::string legal = "!$&'()*+,-./:;=?@_~";
    for (int c = 0; c < 128; ++c) {
        const std::string in(1, static_cast<char>(c));
        const bool keep = std::isalnum(c) || legal.find(static_cast<char>(c)) != std::string::npos;
        char hex[4];
        std::snprintf(hex, sizeof hex, "%%%02X", c);
        EXPECT_EQ(escaped(in), keep ? in : std::string(hex)) << "byte " << c;
    }
}

TEST(PercentEscapesTest, OnlyUTF8IsSupported) {
    EXPECT_FALSE(stringByAddingPercentEscapesUsingEncoding("abc", 1).has_value());   // ASCII
    EXPECT_FALSE(stringByAddingPercentEscapesUsingEncoding("abc", 5).has_value());   // Latin-1
    EXPECT_FALSE(stringByAddingPercentEscapesUsingEncoding("", 0).has_value());
}

TEST(PercentEscapesTest, EscapedWholeURLsMakeURLObjects) {
    for (const std::string text : {"clearapp://task/create?listName=A B&taskName=\xc3\xa9t\xc3\xa9",
                                   "clearapp://list/create?listName=50% \"off\" {x}|y"}) {
        EXPECT_NE(NSURL::URLWithString(escaped(text)), nullptr) << text;
    }
}

TEST(QueryValueEscapingTest, KeepsOnlyUnreservedCharacters) {
    const std::pair<std::string, std::string> cases[] = {
        {"AZaz09-._~", "AZaz09-._~"},
        {"Home & Work", "Home%20%26%20Work"},
        {"a=b?c/d#e", "a%3Db%3Fc%2Fd%23e"},
        {"!$'()*+,;:@", "%21%24%27%28%29%2A%2B%2C%3B%3A%40"},
        {"50%", "50%25"},
        {"caf\xc3\xa9", "caf%C3%A9"},
        {"", ""},
    };
    for (const auto& [input, output] : cases) EXPECT_EQ(stringByAddingPercentEncodingForQueryValue(input), output);
}

}  // namespace
