#include "NSString.h"

#include <gtest/gtest.h>

TEST(StringWithFormat, FillsObjectPlaceholders) {
    EXPECT_EQ(stringWithFormat("[Velmora]Fire ze missles! %@", {Value("com.apple.mobilesafari")}),
              "[Velmora]Fire ze missles! com.apple.mobilesafari");
    EXPECT_EQ(stringWithFormat("a=%@ b=%@", {Value(), Value(5)}), "a=(null) b=5");
    EXPECT_EQ(stringWithFormat("%@ and %@", {Value("only")}), "only and (null)");
    EXPECT_EQ(stringWithFormat("100%% %@", {Value("sure")}), "100% sure");
    EXPECT_EQ(stringWithFormat("trailing %", {}), "trailing %");
    EXPECT_EQ(stringWithFormat("%d stays", {Value(1)}), "%d stays");
}

TEST(StringReplacing, EveryOccurrenceLiterally) {
    struct Case {
        const char *in, *target, *replacement, *out;
    };
    const Case cases[] = {
        {"/c/Clear.app", "Clear.app", "X", "/c/X"},
        {"/Clear.app/b/Clear.app", "Clear.app", "X", "/X/b/X"},
        {"/c/clear.app", "Clear.app", "X", "/c/clear.app"},
        {"aaaa", "aa", "b", "bb"},
        {"abc", "", "x", "abc"},
        {"", "a", "b", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(stringByReplacingOccurrencesOfString(c.in, c.target, c.replacement), c.out) << c.in;
}

TEST(PathJoining, LeavesExactlyOneSeparator) {
    struct Case {
        const char *path, *component, *out;
    };
    const Case cases[] = {
        {"/var/mobile", "/Library/Preferences/x.plist", "/var/mobile/Library/Preferences/x.plist"},
        {"/var/mobile/", "/Library/Preferences/x.plist", "/var/mobile/Library/Preferences/x.plist"},
        {"/var/mobile//", "Library", "/var/mobile/Library"},
        {"/", "/etc", "/etc"},
        {"", "a", "a"},
        {"rel", "b", "rel/b"},
    };
    for (const auto& c : cases) EXPECT_EQ(stringByAppendingPathComponent(c.path, c.component), c.out);
}

TEST(StringWithUTF8String, RefusesWhatIsNotStrictUTF8) {
    struct Case {
        const char* bytes;
        bool valid;
    };
    const Case cases[] = {
        {"", true},
        {"Groceries", true},
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", true},
        {"\xc3", false},              // truncated
        {"\xc0\xaf", false},          // overlong "/"
        {"\xe0\x80\xaf", false},      // overlong, three bytes
        {"\xed\xa0\x80", false},      // a surrogate
        {"\xf4\x90\x80\x80", false},  // above U+10FFFF
        {"\xff", false},
        {"ok\x80", false},  // stray continuation byte
        {"\xc2\x80 \xdf\xbf", true},          // the lowest and highest two-byte characters
        {"\xc1\xbf", false},                    // overlong, two bytes
        {"Liste n\xc2\xb0 12 \xc3\xa0 faire", true},
        {"Liste n\xc2\xb0 12 \xc3(faire", false},  // a lead byte without its continuation
    };
    for (const auto& c : cases) {
        EXPECT_EQ(stringWithUTF8String(c.bytes).has_value(), c.valid) << c.bytes;
        if (c.valid) {
            EXPECT_EQ(*stringWithUTF8String(c.bytes), c.bytes);
        }
    }
    EXPECT_EQ(stringWithUTF8String(nullptr), std::nullopt);
}
