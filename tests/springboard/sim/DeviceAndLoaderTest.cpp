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

TEST(Sheet, ShowsTitleListTaskPromptInTheThemeColours) {
    sim::SheetState state;
    state.open = true;
    state.title = "Clear";
    state.tint = UIColor::colorWithRed(0.396078, 0.470668, 0.545258, 1);
    state.barText = UIColor::colorWithWhite(1, 1);
    state.listText = "Bread & Butter";
    state.taskText = "Milk";
    state.prompt = "Create List: Enter a name";

    std::string plain = sim::renderSheet(state, false);
    EXPECT_EQ(plain.find("\x1b["), std::string::npos);
    for (const char* part : {"Clear", "List  Bread & Butter", "Task  Milk", "? Create List: Enter a name",
                             "answer NAME to confirm, or cancel"})
        EXPECT_NE(plain.find(part), std::string::npos) << part << "\n" << plain;

    std::string coloured = sim::renderSheet(state, true);
    EXPECT_NE(coloured.find("\x1b[48;2;101;120;139m"), std::string::npos);
    EXPECT_NE(coloured.find("\x1b[38;2;255;255;255m"), std::string::npos);
    EXPECT_EQ(sim::renderSheet(sim::SheetState{}, false), "");
}

// Every line of the sheet is as wide as the terminal allows, within bounds,
// however long the texts are.
TEST(Sheet, FitsTheTerminalWidth) {
    auto codePoints = [](const std::string& s) {
        std::size_t n = 0;
        for (unsigned char c : s) n += (c & 0xC0) != 0x80;
        return n;
    };
    sim::SheetState state;
    state.open = true;
    state.title = "Clear";
    state.taskText = std::string(200, 'x') + "é";
    state.choices = {"Groceries", "Work", std::string(70, 'w'), "Create List..."};
    state.prompt = std::string(30, 'p') + " " + std::string(90, 'q');
    const struct {
        int terminal;
        std::size_t drawn;
    } cases[] = {{20, 40}, {40, 40}, {48, 48}, {57, 57}, {64, 64}, {200, 64}};
    for (const auto& c : cases) {
        std::istringstream lines(sim::renderSheet(state, false, c.terminal));
        int count = 0;
        for (std::string line; std::getline(lines, line); ++count) EXPECT_EQ(codePoints(line), c.drawn) << c.terminal << ": " << line;
        EXPECT_GT(count, 8) << c.terminal;
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
