// The edges where outside bytes and files meet the simulator: the history
// file (whatever sits at its path), device and peer text on its way to a
// terminal, and a NUL in a typed line.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include <gtest/gtest.h>
#include <readline/history.h>

#include "HistoryFile.h"
#include "ColourMode.h"
#include "ScriptParser.h"
#include "TempDirectory.h"
#include "TerminalText.h"

namespace fs = std::filesystem;
using namespace sim;

namespace {

std::string slurp(const fs::path& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct HistoryCase {
    const char* name;
    std::function<fs::path(const fs::path& dir)> plant;  // makes the path the history is kept at
    bool usable;
    std::function<void(const fs::path& dir)> check;  // after a save
};

const HistoryCase kHistoryCases[] = {
    {"Missing", [](const fs::path& d) { return d / "history"; }, true,
     [](const fs::path& d) { EXPECT_EQ(slurp(d / "history"), "new\n"); }},
    {"RegularFile",
     [](const fs::path& d) {
         std::ofstream(d / "history") << "old\n";
         return d / "history";
     },
     true, [](const fs::path& d) { EXPECT_EQ(slurp(d / "history"), "old\nnew\n"); }},
    {"LinkIsResolvedAndStaysALink",
     [](const fs::path& d) {
         fs::create_directory(d / "real");
         std::ofstream(d / "real/history") << "old\n";
         fs::create_symlink("real/history", d / "history");
         return d / "history";
     },
     true,
     [](const fs::path& d) {
         EXPECT_TRUE(fs::is_symlink(d / "history"));
         EXPECT_EQ(slurp(d / "real/history"), "old\nnew\n");
         // The temporary file was made beside the target, not beside the link.
         EXPECT_EQ(std::distance(fs::directory_iterator(d / "real"), {}), 1);
     }},
    {"Fifo",
     [](const fs::path& d) {
         ::mkfifo((d / "history").c_str(), 0600);
         return d / "history";
     },
     false, [](const fs::path& d) { EXPECT_EQ(fs::status(d / "history").type(), fs::file_type::fifo); }},
    {"Directory",
     [](const fs::path& d) {
         fs::create_directory(d / "history");
         return d / "history";
     },
     false, [](const fs::path& d) { EXPECT_TRUE(fs::is_empty(d / "history")); }},
    {"LoopOfLinks",
     [](const fs::path& d) {
         fs::create_symlink("b", d / "history");
         fs::create_symlink("history", d / "b");
         return d / "history";
     },
     false, [](const fs::path&) {}},
};

class HistoryFileTest : public testing::TestWithParam<HistoryCase> {};

TEST_P(HistoryFileTest, LoadsAndSavesOnlyARegularFileAndNeverBlocks) {
    TempDirectory dir;
    const HistoryCase& c = GetParam();
    const fs::path path = c.plant(dir.path());
    clear_history();
    auto loaded = loadHistory(path.string());  // a FIFO without a writer would hang here if opened blocking
    EXPECT_EQ(!loaded.has_value(), c.usable) << loaded.value_or("");
    add_history("new");
    auto saved = saveHistory(path.string(), 1000);
    EXPECT_EQ(!saved.has_value(), c.usable) << saved.value_or("");
    c.check(dir.path());
    clear_history();
}

INSTANTIATE_TEST_SUITE_P(Kinds, HistoryFileTest, testing::ValuesIn(kHistoryCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(HistoryFile, KeepsOnlyTheLastLinesAndTheFileMode) {
    TempDirectory dir;
    const fs::path path = dir.path() / "history";
    std::ofstream(path) << "a\n";
    ::chmod(path.c_str(), 0640);
    clear_history();
    for (const char* line : {"b", "c", "d"}) add_history(line);
    ASSERT_FALSE(saveHistory(path.string(), 2));
    EXPECT_EQ(slurp(path), "c\nd\n");
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all, fs::perms(0640));
    unstifle_history();
    clear_history();
}

TEST(TerminalText, EscapesWhatCouldDriveTheTerminal) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"Café ☕ & \\ plain", "Café ☕ & \\ plain"},
        {"red\x1b[31m!", "red\\e[31m!"},
        {"a\nb\tc\rd", "a\\nb\\tc\\rd"},
        {std::string("nul\0bell\x07" "del\x7f", 13), "nul\\x00bell\\x07del\\x7F"},
        {"c1 \xc2\x9b" "2J", "c1 \\u{9B}2J"},
        {"bad \xff\xc3 end", "bad \\xFF\\xC3 end"},
        {"cut \xe2\x98", "cut \\xE2\\x98"},
    };
    for (const auto& c : cases) EXPECT_EQ(printable(c.in), c.out) << c.out;
}

TEST(ScriptLine, ANulIsRefusedNotCut) {
    ParsedLine parsed = parseScriptLine(std::string("type milk\0and eggs", 18), 3, LineSource::Prompt);
    ASSERT_TRUE(parsed.error);
    EXPECT_EQ(parsed.error->line, 3);
    EXPECT_NE(parsed.error->message.find("NUL"), std::string::npos);
}

TEST(Colour, AutoNeedsATerminalNoNoColorAndATermThatIsNotDumb) {
    EXPECT_TRUE(useColour(ColourMode::Auto, true, nullptr, "xterm-256color"));
    EXPECT_TRUE(useColour(ColourMode::Auto, true, "", nullptr));
    EXPECT_FALSE(useColour(ColourMode::Auto, false, nullptr, "xterm"));
    EXPECT_FALSE(useColour(ColourMode::Auto, true, "1", "xterm"));
    EXPECT_FALSE(useColour(ColourMode::Auto, true, nullptr, "dumb"));
    EXPECT_TRUE(useColour(ColourMode::Always, false, "1", "dumb"));
    EXPECT_FALSE(useColour(ColourMode::Never, true, nullptr, "xterm"));
}

}  // namespace
