#include <gtest/gtest.h>

#include "DeviceBuilder.h"
#include "Loader.h"
#include "SheetRenderer.h"

namespace {

TEST(ListNames, SplitOnUnescapedCommas) {
    struct Case {
        const char* text;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"", {}},
        {"A", {"A"}},
        {"A,B,C", {"A", "B", "C"}},
        {"A,,B", {"A", "", "B"}},
        {" A , B ", {"A", "B"}},
        {"\tA\t,  B", {"A", "B"}},
        {"\\, A \\,", {", A ,"}},
        {"Size\\, big,Small", {"Size, big", "Small"}},
        {"back\\\\,slash", {"back\\", "slash"}},
        {"C:\\temp", {"C:\\temp"}},
        {"Café ☕,Bread & Butter", {"Café ☕", "Bread & Butter"}},
        {"trailing,", {"trailing", ""}},
    };
    for (const auto& c : cases) EXPECT_EQ(sim::splitListNames(c.text), c.names) << c.text;
}

TEST(ContainerUUID, StableAndDistinctPerApp) {
    std::string clear = sim::containerUUID("com.realmacsoftware.clear");
    EXPECT_EQ(clear, sim::containerUUID("com.realmacsoftware.clear"));
    EXPECT_NE(clear, sim::containerUUID("com.realmacsoftware.clear.universal"));
    ASSERT_EQ(clear.size(), 36u);
    for (std::size_t i : {8u, 13u, 18u, 23u}) EXPECT_EQ(clear[i], '-');
    EXPECT_EQ(clear.find_first_not_of("0123456789ABCDEF-"), std::string::npos);
}

Dictionary filter(Dictionary inner) { return Dictionary{{"Filter", Value(std::move(inner))}}; }
Value strings(std::initializer_list<const char*> items) {
    Array array;
    for (const char* s : items) array.push_back(Value(s));
    return Value(std::move(array));
}

TEST(LoaderFilter, AdmitsOnlyMatchingProcesses) {
    const sim::ProcessIdentity springBoard{"com.apple.springboard", "SpringBoard"};
    struct Case {
        const char* name;
        Dictionary plist;
        bool admitted;
    };
    const Case cases[] = {
        {"springboard bundle", filter({{"Bundles", strings({"com.apple.springboard"})}}), true},
        {"among others", filter({{"Bundles", strings({"com.apple.mobilesafari", "com.apple.springboard"})}}), true},
        {"other process only", filter({{"Bundles", strings({"com.apple.mobilesafari"})}}), false},
        {"case matters", filter({{"Bundles", strings({"com.apple.SpringBoard"})}}), false},
        {"empty bundles", filter({{"Bundles", strings({})}}), false},
        {"bundles not an array", filter({{"Bundles", Value("com.apple.springboard")}}), false},
        {"executable", filter({{"Executables", strings({"SpringBoard"})}}), true},
        {"both must match", filter({{"Bundles", strings({"com.apple.springboard"})}, {"Executables", strings({"MobileSafari"})}}), false},
        {"mode any", filter({{"Bundles", strings({"com.apple.springboard"})}, {"Executables", strings({"MobileSafari"})}, {"Mode", Value("Any")}}), true},
        {"no filter at all", Dictionary{}, true},
        {"empty filter", filter({}), true},
        {"filter not a dictionary", Dictionary{{"Filter", Value("x")}}, false},
    };
    for (const auto& c : cases) EXPECT_EQ(sim::filterAdmits(c.plist, springBoard), c.admitted) << c.name;
}

TEST(LoaderFilter, MissingDirectoryLoadsNothing) {
    EXPECT_TRUE(sim::loadDynamicLibraries("/nonexistent/velmora", {"com.apple.springboard", "SpringBoard"}).empty());
}

TEST(Sheet, GreyBecomesEqualLevelsAndRgbRounds) {
    EXPECT_EQ(sim::colorLevels(UIColor::colorWithWhite(1, 1)), (std::vector<int>{255, 255, 255}));
    EXPECT_EQ(sim::colorLevels(UIColor::colorWithWhite(0.5, 1)), (std::vector<int>{128, 128, 128}));
    EXPECT_EQ(sim::colorLevels(UIColor::colorWithRed(0.396078, 0.470668, 0.545258, 1)),
              (std::vector<int>{101, 120, 139}));
    EXPECT_EQ(sim::colorLevels(UIColor::colorWithRed(-1, 2, 0, 1)), (std::vector<int>{0, 255, 0}));
}

TEST(Sheet, ShowsTitleListTaskAndWhatHappened) {
    sim::SheetState state;
    state.open = true;
    state.taskText = "Milk";
    using sim::Json;
    for (const Json& event : {
             Json{{"event", "setTitle"}, {"title", "Clear"}},
             Json{{"event", "setPreferredTintColor"}, {"color", {{"rgb", {0.396078, 0.470668, 0.545258}}, {"alpha", 1}}}},
             Json{{"event", "setPreferredBarTextColor"}, {"color", {{"white", 1}, {"alpha", 1}}}},
             Json{{"event", "displayText"}, {"key", "list"}, {"text", "Bread & Butter"}},
             Json{{"event", "openURL"}, {"url", "clearapp://x"}, {"handled", true}},
             Json{{"event", "clear"}, {"action", "task/create"}, {"list", "Bread & Butter"}, {"task", "Milk"}, {"result", "created"}},
             Json{{"event", "front"}, {"identifier", "com.apple.mobilesafari"}},
         })
        state.apply(event);

    std::string plain = sim::renderSheet(state, false);
    EXPECT_EQ(plain.find("\x1b["), std::string::npos);
    for (const char* part : {"Clear", "List  Bread & Butter", "Task  Milk", "opened clearapp://x",
                             "Clear: task \"Milk\" in \"Bread & Butter\": created", "in front: com.apple.mobilesafari"})
        EXPECT_NE(plain.find(part), std::string::npos) << part << "\n" << plain;

    std::string coloured = sim::renderSheet(state, true);
    EXPECT_NE(coloured.find("\x1b[48;2;101;120;139m"), std::string::npos);
    EXPECT_NE(coloured.find("\x1b[38;2;255;255;255m"), std::string::npos);
}

TEST(Sheet, LongTextsStayInsideTheFrame) {
    sim::SheetState state;
    state.open = true;
    state.title = "Clear";
    state.taskText = std::string(200, 'x') + "é";
    std::string plain = sim::renderSheet(state, false);
    std::size_t width = 0;
    std::istringstream lines(plain);
    for (std::string line; std::getline(lines, line);) {
        std::size_t columns = 0;
        for (unsigned char c : line) columns += (c & 0xC0) != 0x80;
        if (width == 0) width = columns;
        EXPECT_EQ(columns, width) << line;
    }
}

TEST(Sheet, WideGlyphsTakeTwoColumns) {
    auto listLine = [](const std::string& list) {
        sim::SheetState state;
        state.open = true;
        state.listText = list;
        std::istringstream lines(sim::renderSheet(state, false));
        for (std::string line; std::getline(lines, line);)
            if (line.find("List  ") != std::string::npos) return line;
        return std::string();
    };
    auto codePoints = [](const std::string& s) {
        std::size_t n = 0;
        for (unsigned char c : s) n += (c & 0xC0) != 0x80;
        return n;
    };
    // The coffee cup is drawn two columns wide, so its line has one code point less.
    EXPECT_EQ(codePoints(listLine("Caf\u00e9 \u2615")) + 1, codePoints(listLine("Caf\u00e9 a")));
}

}  // namespace
