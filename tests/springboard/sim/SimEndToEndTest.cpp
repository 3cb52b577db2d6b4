// The real velmora-sim binary, driven by scripts against devices it makes.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "SQLiteStatement.h"
#include "SimProcess.h"

using namespace simtest;
using nlohmann::json;

namespace {

const char* kClear = "com.realmacsoftware.clear";
const char* kClearPlus = "com.realmacsoftware.clear.universal";

// Rows of a one-column (or ' | '-joined) query, straight from SQLite.
std::vector<std::string> query(const fs::path& db, const std::string& sql) {
    std::vector<std::string> rows;
    const SQLiteConnection connection = SQLiteConnection::open(db.c_str(), SQLITE_OPEN_READONLY);
    SQLiteStatement statement(connection, sql.c_str());
    while (statement.ok() && statement.step()) {
        std::string row;
        for (int c = 0; c < statement.columns(); ++c) row += (c ? " | " : "") + statement.string(c);
        rows.push_back(row);
    }
    return rows;
}

class SimEndToEnd : public testing::Test {
protected:
    // Makes DEVICE with `options` (after "device create DIR").
    fs::path makeDevice(const std::vector<std::string>& options, const std::string& name = "device") {
        std::vector<std::string> args{"device", "create", (scratch_ / name).string()};
        args.insert(args.end(), options.begin(), options.end());
        Result made = runSim(scratch_, args);
        EXPECT_EQ(made.exitCode, 0) << made.err;
        return scratch_ / name;
    }

    // The Clear database of the app `identifier` on `device` (found by its bundle).
    fs::path clearDatabase(const fs::path& device, const std::string& identifier) {
        for (const auto& container : fs::directory_iterator(device / "var/mobile/Applications")) {
            std::string info = readFile(container.path() / "Clear.app/Info.plist");
            if (info.find("<string>" + identifier + "</string>") != std::string::npos)
                return container.path() / "Library/Application Support/com.realmacsoftware.clear/BackendTasks.sqlite";
        }
        ADD_FAILURE() << "no container for " << identifier;
        return {};
    }

    Result runScript(const fs::path& device, const std::string& script) {
        fs::path file = scratch_ / "script.txt";
        std::ofstream(file) << script;
        return runSim(scratch_, {"run", "--device", device.string(), "--script", file.string()});
    }

    Scratch scratch_;
};

TEST_F(SimEndToEnd, AddsTaskAndReturnsToTheAppInFront) {
    fs::path device = makeDevice({"--clear", "--lists", "Groceries,Work", "--front", "com.apple.mobilesafari"});
    Result run = runScript(device, "open\npick Work\ntype Milk and eggs\nsubmit\n");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    auto events = run.events();

    auto clear = named(events, "clear");
    ASSERT_EQ(clear.size(), 1u) << run.out;
    EXPECT_EQ(clear[0]["action"], "task/create");
    EXPECT_EQ(clear[0]["list"], "Work");
    EXPECT_EQ(clear[0]["task"], "Milk and eggs");

    auto post = named(events, "post");
    ASSERT_EQ(post.size(), 1u);
    EXPECT_EQ(post[0]["name"], "VLIPC.Kill");
    EXPECT_EQ(post[0]["userInfo"], json({{"identifier", "com.apple.mobilesafari"}}));

    auto front = named(events, "front");
    ASSERT_EQ(front.size(), 2u);
    EXPECT_EQ(front[0]["identifier"], kClear);
    EXPECT_EQ(front[1]["identifier"], "com.apple.mobilesafari");
    EXPECT_EQ(named(events, "launchApplication").at(0)["suspended"], false);
    EXPECT_TRUE(named(events, "error").empty()) << run.out;

    EXPECT_EQ(query(clearDatabase(device, kClear), "select list, title from tasks"),
              (std::vector<std::string>{"Work | Milk and eggs"}));
}

TEST_F(SimEndToEnd, CreatesAList) {
    fs::path device = makeDevice({"--clear", "--lists", "Groceries", "--front", "home"});
    Result run = runScript(device, "open\npick Create List...\nanswer Holiday plans\n");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    auto events = run.events();
    auto prompt = named(events, "prompt");
    ASSERT_EQ(prompt.size(), 1u);
    EXPECT_EQ(prompt[0]["title"], "Create List");
    EXPECT_EQ(prompt[0]["style"], 2);
    auto clear = named(events, "clear");
    ASSERT_EQ(clear.size(), 1u);
    EXPECT_EQ(clear[0]["action"], "list/create");
    EXPECT_EQ(clear[0]["list"], "Holiday plans");
    EXPECT_EQ(query(clearDatabase(device, kClear), "select title from lists"),
              (std::vector<std::string>{"Groceries", "Holiday plans"}));
}

TEST_F(SimEndToEnd, CancellingThePromptPutsTheChoiceBackAndOpensNothing) {
    fs::path device = makeDevice({"--clear", "--lists", "Groceries,Work"});
    Result run = runScript(device, "open\npick Work\npick Create List...\ncancel\nanswer too late\n");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    auto events = run.events();
    EXPECT_TRUE(named(events, "openURL").empty());
    auto restored = named(events, "setValue");
    ASSERT_FALSE(restored.empty());
    EXPECT_EQ(restored.back()["value"], json::array({"Work"}));
    EXPECT_EQ(named(events, "displayText").back()["text"], "Work");
    auto errors = named(events, "error");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0]["text"].get<std::string>().find("no prompt"), std::string::npos);
    EXPECT_EQ(query(clearDatabase(device, kClear), "select title from lists").size(), 2u);
}

TEST_F(SimEndToEnd, WithoutClearTheWidgetSaysSoAndNothingIsAdded) {
    fs::path device = makeDevice({"--front", "com.apple.mobilesafari"});
    Result run = runScript(device, "open\ntype Milk\nsubmit\n");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    auto events = run.events();
    auto messages = named(events, "showMessage");
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages[0]["text"], "You need to install Clear or Clear+ from App Store to use this widget.");
    EXPECT_FALSE(named(events, "dismiss").empty());
    EXPECT_TRUE(named(events, "clear").empty());
    // The widget asked to go away, so there is nothing left to type into.
    EXPECT_FALSE(named(events, "error").empty());
}

TEST_F(SimEndToEnd, ClearPlusAloneGetsTheTask) {
    fs::path device = makeDevice({"--clear-plus", "--lists", "Inbox", "--theme", "THEME_NOIR_ID"});
    Result run = runScript(device, "open\npick Inbox\ntype Call Anna\nsubmit\n");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    auto events = run.events();
    auto lookups = named(events, "lookup");
    ASSERT_GE(lookups.size(), 2u);
    EXPECT_EQ(lookups[0], json({{"event", "lookup"}, {"identifier", kClear}, {"found", false}}));
    EXPECT_EQ(lookups[1], json({{"event", "lookup"}, {"identifier", kClearPlus}, {"found", true}}));
    EXPECT_EQ(named(events, "setPreferredTintColor").at(0)["color"],
              json({{"rgb", {0.213926, 0.213926, 0.213926}}, {"alpha", 1.0}}));
    auto clear = named(events, "clear");
    ASSERT_EQ(clear.size(), 1u);
    EXPECT_EQ(clear[0]["app"], kClearPlus);
    EXPECT_EQ(query(clearDatabase(device, kClearPlus), "select list, title from tasks"),
              (std::vector<std::string>{"Inbox | Call Anna"}));
}

TEST_F(SimEndToEnd, FromTheHomeScreenItGoesBackHome) {
    fs::path device = makeDevice({"--clear", "--lists", "A", "--front", "home"});
    Result run = runScript(device, "open\npick A\ntype x\nsubmit\n");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    auto events = run.events();
    EXPECT_EQ(named(events, "post").at(0)["userInfo"]["identifier"], "com.apple.springboard");
    EXPECT_EQ(named(events, "quitTopApplication").size(), 1u);
    EXPECT_TRUE(named(events, "launchApplication").empty());
    EXPECT_EQ(named(events, "front").back()["identifier"], "com.apple.springboard");
}

TEST_F(SimEndToEnd, AmpersandsPlusSignsAndNonAsciiArriveIntact) {
    fs::path device = makeDevice({"--clear", "--lists", "Bread & Butter,Café ☕,Size\\, big"});
    Result run = runScript(device,
                           "open\npick Bread & Butter\ntype Jam & toast + tea 100%\nsubmit\n"
                           "open\npick Café ☕\ntype Crème brûlée\nsubmit\n"
                           "open\npick Size, big\ntype \"  padded  \"\nsubmit\n"
                           "open\npick Create List...\nanswer Tom & Jerry = ☺?\n");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    for (const auto& clear : named(run.events(), "clear")) EXPECT_EQ(clear["result"], "created") << clear.dump();
    fs::path db = clearDatabase(device, kClear);
    EXPECT_EQ(query(db, "select list, title from tasks"),
              (std::vector<std::string>{"Bread & Butter | Jam & toast + tea 100%", "Café ☕ | Crème brûlée",
                                        "Size, big |   padded  "}));
    EXPECT_EQ(query(db, "select title from lists"),
              (std::vector<std::string>{"Bread & Butter", "Café ☕", "Size, big", "Tom & Jerry = ☺?"}));
}

TEST_F(SimEndToEnd, RefusedLinesBecomeErrorEventsAndTheRunGoesOn) {
    fs::path device = makeDevice({"--clear", "--lists", "A"});
    Result run = runScript(device, "answer x\ncancel\nsubmit\npick A\nclose\nfront com.example.nothing\nopen\npick Nope\npick-index 9\nopen\nclose\nclose\n");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    auto errors = named(run.events(), "error");
    EXPECT_EQ(errors.size(), 10u) << run.out;
}

TEST_F(SimEndToEnd, UnparsableScriptStopsBeforeBootWithExit2) {
    fs::path device = makeDevice({"--clear"});
    Result run = runScript(device, "open\n# fine\npick-index x\nsubmit\n");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.out.empty()) << run.out;
    EXPECT_NE(run.err.find("script.txt:3: pick-index"), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1);
}

TEST_F(SimEndToEnd, BadCommandLinesExit2WithOneLineThatHelps) {
    fs::path script = scratch_ / "ok.script";
    std::ofstream(script) << "open\n";
    const std::string deep = "{\"a\":" + std::string(16000, '[') + std::string(16000, ']') + "}";
    const struct {
        std::vector<std::string> args;
        const char* says;  // a part of the one line on standard error
    } cases[] = {
        {{}, "no command given; the commands are device, run, send, serve, trace and help"},
        {{"dance"}, "unknown command \"dance\""},
        {{"rnu"}, "(did you mean \"run\"?)"},
        {{"--bogus"}, "unknown option \"--bogus\"; a command must come first"},
        {{"help", "dance"}, "help: velmora-sim has no command \"dance\""},
        {{"run", "--frobnicate"}, "unknown option \"--frobnicate\" (see velmora-sim run --help)"},
        {{"run", "--devcie", "x"}, "(did you mean \"--device\"?)"},
        {{"run", "--color=blue"}, "--color takes auto, always or never, not \"blue\""},
        {{"run", "--color"}, "--color needs a value: --color auto|always|never"},
        {{"run", "my.script"}, "to run a script: velmora-sim run --script my.script"},
        {{"device", "create"}, "device create needs DIR (see velmora-sim device create --help)"},
        {{"serve"}, "serve needs --device DIR"},
        {{"send", "d"}, "send needs MESSAGE"},
        {{"device", "create", (scratch_ / "d").string(), "--front", kClear}, ""},  // Clear not installed
        {{"send", scratch_.path().string(), "VLIPC.Lists", "[1]"}, "JSON object"},
        {{"send", scratch_.path().string(), "VLIPC.Lists", deep}, "nests deeper than 512"},
        {{"run", "--script", scratch_.path().string()}, "is a directory"},
        {{"run", "--script", "/dev/zero"}, "is larger than 16 MiB"},
        {{"run", "--demo", "--script", script.string()}, "give either --demo or --script"},
    };
    for (const auto& c : cases) {
        Result r = runSim(scratch_, c.args);
        std::string shown;
        for (const auto& a : c.args) shown += a.substr(0, 40) + " ";
        EXPECT_EQ(r.exitCode, 2) << shown << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << shown << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << shown << r.err;
        EXPECT_LT(r.err.size(), 300u) << shown;
        // In our words, not the parser's.
        for (const char* jargon : {"TEXT", "REQUIRED", "The following", "is required", "Expected"})
            EXPECT_EQ(r.err.find(jargon), std::string::npos) << shown << r.err;
    }
    EXPECT_FALSE(fs::exists(scratch_ / "d"));
}

TEST_F(SimEndToEnd, VersionAndHelpAnswerWithExit0) {
    for (const char* flag : {"--version", "-V"}) {
        Result version = runSim(scratch_, {flag});
        EXPECT_EQ(version.exitCode, 0);
        EXPECT_EQ(version.out, "velmora-sim 1.0.0\n");
    }
    Result help = runSim(scratch_, {"run", "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--device DIR"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("Examples:\n  velmora-sim run --demo"), std::string::npos) << help.out;
    EXPECT_EQ(runSim(scratch_, {"help", "device", "show"}).out, runSim(scratch_, {"device", "show", "--help"}).out);

    // Every command names its arguments by kind, and each that does
    // something (not a group, not help) ends with examples.
    std::vector<std::string> paths;
    std::istringstream listed(runSim(scratch_, {"completion", "commands"}).out);
    for (std::string path; std::getline(listed, path);) paths.push_back(path);
    ASSERT_GT(paths.size(), 8u);
    for (const auto& path : paths) {
        std::vector<std::string> args{"help"};
        for (std::istringstream words(path); words >> args.emplace_back();) {}
        args.pop_back();
        const std::string text = runSim(scratch_, args).out;
        EXPECT_EQ(text.find(" TEXT"), std::string::npos) << text;
        const bool group = std::any_of(paths.begin(), paths.end(), [&](const auto& p) { return p.rfind(path + " ", 0) == 0; });
        if (!group && path != "help") {
            EXPECT_NE(text.find("\nExample"), std::string::npos) << text;
        }
    }
}

TEST_F(SimEndToEnd, ScriptLinesThatCannotBeParsedExit2WithAShortExcerpt) {
    fs::path device = makeDevice({"--clear"});
    const std::string longWord(5000, 'z');
    const struct {
        std::string script;
        const char* says;
    } cases[] = {
        {"open\n" + longWord + "\n", "script.txt:2: unknown command \"zzz"},
        {"pick-index " + longWord + "\n", "script.txt:1: pick-index needs"},
        {"ipc VLIPC.Lists {\"a\":" + std::string(16000, '[') + "\n", "script.txt:1: ipc: the JSON nests deeper than 512"},
        {"opn\n", "did you mean \"open\"?"},
        {"close # done\n", "close takes no argument"},
    };
    for (const auto& c : cases) {
        Result run = runScript(device, c.script);
        EXPECT_EQ(run.exitCode, 2) << c.says;
        EXPECT_TRUE(run.out.empty());
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err.substr(0, 300);
        EXPECT_LT(run.err.size(), 200u);
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1);
    }
}

TEST_F(SimEndToEnd, HashIsTextUnlessItStartsTheLine) {
    fs::path device = makeDevice({"--clear", "--lists", "#hashtag,Work"});
    Result run = runScript(device, "  # a comment\nopen\npick #hashtag\ntype Fix bug #12\nsubmit\n"
                                   "open\npick 'Work'\ntype 'a # b'\nsubmit\n");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(named(run.events(), "error").empty()) << run.out;
    EXPECT_EQ(query(clearDatabase(device, kClear), "select list, title from tasks"),
              (std::vector<std::string>{"#hashtag | Fix bug #12", "Work | a # b"}));
}

TEST_F(SimEndToEnd, AnUnknownPickSaysWhatTheChoicesAre) {
    fs::path device = makeDevice({"--clear", "--lists", "Groceries", "--list", "  Padded  "});
    Result run = runScript(device, "open\npick Nope\n");
    auto errors = named(run.events(), "error");
    ASSERT_EQ(errors.size(), 1u) << run.out;
    EXPECT_EQ(errors[0]["text"], "no choice titled Nope; the choices are: Groceries · \"  Padded  \" · Create List...");
}

TEST_F(SimEndToEnd, ADirectoryThatIsNoDeviceIsLeftAlone) {
    fs::create_directories(scratch_ / "home/Documents");
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"run", "--device", (scratch_ / "home").string(), "--script", "-"},
             {"serve", "--device", (scratch_ / "home").string()},
             {"run", "--demo", "--device", (scratch_ / "home").string()}}) {
        Result r = runSim(scratch_, args, "open\n");
        EXPECT_EQ(r.exitCode, 1) << args[0];
        EXPECT_NE(r.err.find("is not a device"), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;  // no package warning first
        std::vector<fs::path> entries(fs::recursive_directory_iterator(scratch_ / "home"), {});
        EXPECT_EQ(entries, std::vector<fs::path>{scratch_ / "home/Documents"});
    }
}

// The manual page and the completion are made from the parser at build
// time; a command or option the help has must be in both.
TEST_F(SimEndToEnd, ManualAndCompletionCoverEveryCommandAndOption) {
    const fs::path share = fs::path(simBinary()).parent_path().parent_path() / "share";
    std::string manual = readFile(share / "man/man1/velmora-sim.1");
    ASSERT_FALSE(manual.empty());
    for (std::size_t at = 0; (at = manual.find("\\-", at)) != std::string::npos;) manual.erase(at, 1);  // roff's \-
    Result commands = runSim(scratch_, {"completion", "commands"});
    ASSERT_EQ(commands.exitCode, 0);
    std::istringstream paths(commands.out);
    int checked = 0;
    for (std::string path; std::getline(paths, path);) {
        EXPECT_NE(manual.find(".SS velmora-sim " + path + "\n"), std::string::npos) << path;
        std::vector<std::string> args{"help"};
        for (std::istringstream words(path); words >> args.emplace_back();) {}
        args.pop_back();
        std::istringstream help(runSim(scratch_, args).out);
        for (std::string line; std::getline(help, line);) {
            std::size_t dash = line.find("  --");
            if (dash == std::string::npos) continue;
            std::string option = line.substr(dash + 2, line.find_first_of(" =", dash + 2) - dash - 2);
            EXPECT_NE(manual.find(option), std::string::npos) << path << " " << option;
            ++checked;
        }
    }
    EXPECT_GT(checked, 10);

    // Completion, as bash would ask for it.
    const fs::path completion = share / "bash-completion/completions/velmora-sim";
    const auto complete = [&](const std::string& line) {
        const std::string script = "source " + completion.string() + "; COMP_WORDS=(" + line +
                                   "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _velmora_sim; echo ${COMPREPLY[*]}";
        const fs::path out = scratch_ / "completed";
        std::ofstream(scratch_ / "complete.sh") << script;
        EXPECT_EQ(std::system(("bash " + (scratch_ / "complete.sh").string() + " > " + out.string()).c_str()), 0);
        return readFile(out);
    };
    EXPECT_EQ(complete("velmora-sim de"), "device\n");
    EXPECT_EQ(complete("velmora-sim device s"), "show\n");
    EXPECT_EQ(complete("velmora-sim device re"), "remove\n");
    EXPECT_EQ(complete("velmora-sim run --ba"), "--bail\n");
    EXPECT_EQ(complete("velmora-sim run --color ''"), "auto always never\n");
    EXPECT_EQ(complete("velmora-sim device show --j"), "--json\n");
    EXPECT_EQ(complete("velmora-sim comp"), "\n");  // hidden
}

TEST_F(SimEndToEnd, ScriptsComeThroughPipesAsShellsHandThemOver) {
    fs::path device = makeDevice({"--clear", "--lists", "A"});
    const std::string sim = simBinary() + " run --device " + device.string();
    const std::string out = (scratch_ / "piped").string();
    for (const std::string& way : {sim + " --script <(printf 'open\\npick A\\n')", "printf 'open\\npick A\\n' | " + sim + " --script /dev/stdin"}) {
        const std::string command = "bash -c \"" + way + "\" > " + out;
        ASSERT_EQ(std::system(command.c_str()), 0) << way;
        EXPECT_NE(readFile(out).find("\"displayText\",\"key\":\"list\",\"text\":\"A\""), std::string::npos) << way;
    }
    Result empty = runSim(scratch_, {"run", "--device", device.string(), "--script", "/dev/null"});
    EXPECT_EQ(empty.exitCode, 0) << empty.err;
}

TEST_F(SimEndToEnd, AClosedPipeEndsTheDemoAndRemovesTheSampleDevice) {
    fs::create_directories(scratch_ / "tmp");
    const std::string command = "TMPDIR=" + (scratch_ / "tmp").string() + " " + simBinary() +
                                " run --demo | head -2 > " + (scratch_ / "head").string();
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(std::count_if(fs::directory_iterator(scratch_ / "tmp"), fs::directory_iterator(), [](auto&) { return true; }), 0);
    const std::string head = readFile(scratch_ / "head");
    EXPECT_EQ(std::count(head.begin(), head.end(), '\n'), 2) << head;
}

TEST_F(SimEndToEnd, DemoOnADeviceSaysItWritesThere) {
    fs::path device = makeDevice({"--clear", "--lists", "Bread & Butter", "--front", "com.apple.mobilesafari"});
    Result demo = runSim(scratch_, {"run", "--demo", "--device", device.string()});
    ASSERT_EQ(demo.exitCode, 0) << demo.err;
    EXPECT_NE(demo.out.find("The demo writes to the device " + device.string()), std::string::npos) << demo.out;
    EXPECT_EQ(query(clearDatabase(device, kClear), "select list, title from tasks"),
              (std::vector<std::string>{"Bread & Butter | Jam & toast"}));
}

TEST_F(SimEndToEnd, DemoOnAUsersDevicePlaysItsListsAndNeverDuplicatesOne) {
    fs::path device = makeDevice({"--clear", "--lists", "Errands,Holidays", "--front", "home"});
    for (int run = 0; run < 2; ++run) {
        Result demo = runSim(scratch_, {"run", "--demo", "--device", device.string()});
        ASSERT_EQ(demo.exitCode, 0) << demo.err;
        EXPECT_EQ(demo.out.find("Safari is in front"), std::string::npos) << demo.out;  // home was in front
    }
    EXPECT_EQ(query(clearDatabase(device, kClear), "select title from lists"),
              (std::vector<std::string>{"Errands", "Holidays", "Holidays 2", "Holidays 3"}));
    EXPECT_EQ(query(clearDatabase(device, kClear), "select list, title from tasks"),
              (std::vector<std::string>{"Errands | Jam & toast", "Errands | Jam & toast"}));

    fs::path bare = makeDevice({"--front", "home"}, "bare");
    Result refused = runSim(scratch_, {"run", "--demo", "--device", bare.string()});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("the demo needs Clear on the device"), std::string::npos) << refused.err;
}

TEST_F(SimEndToEnd, BailStopsAtTheFirstRefusalAndErrorsNameTheirLine) {
    fs::path device = makeDevice({"--clear", "--lists", "A"});
    const std::string script = "open\npick-index 5\nipc VLIPC.Nope\nclose\n";
    Result lenient = runScript(device, script);
    ASSERT_EQ(lenient.exitCode, 0) << lenient.err;
    auto errors = named(lenient.events(), "error");
    ASSERT_EQ(errors.size(), 1u) << lenient.out;
    EXPECT_EQ(errors[0]["line"], 2);
    EXPECT_EQ(errors[0]["script"], (scratch_ / "script.txt").string());
    EXPECT_EQ(errors[0]["text"], "no choice 5: there are 2 choices, numbered from 0 (the last, 1, is Create List...)");

    fs::path file = scratch_ / "script.txt";
    Result strict = runSim(scratch_, {"run", "--device", device.string(), "--script", file.string(), "--bail"});
    EXPECT_EQ(strict.exitCode, 1);
    EXPECT_NE(strict.err.find("script.txt:2 (--bail): refused: no choice 5"), std::string::npos) << strict.err;
    EXPECT_TRUE(named(strict.events(), "reply").empty()) << strict.out;  // line 3 never ran

    // An error reply fails a line too; from standard input the error has no script name.
    Result piped = runSim(scratch_, {"run", "--device", device.string(), "--bail"}, "ipc VLIPC.Nope\nopen\n");
    EXPECT_EQ(piped.exitCode, 1);
    EXPECT_NE(piped.err.find("<stdin>:1 (--bail): refused: VLIPC.Nope"), std::string::npos) << piped.err;
    EXPECT_TRUE(named(piped.events(), "setTitle").empty()) << piped.out;
}

TEST_F(SimEndToEnd, TraceFileIsToldAsThePromptWould) {
    fs::path device = makeDevice({"--clear", "--lists", "Work", "--front", "com.apple.mobilesafari"});
    fs::path trace = scratch_ / "run.trace";
    fs::path file = scratch_ / "script.txt";
    std::ofstream(file) << "answer x\nopen\npick Work\ntype Call Anna\nsubmit\n";
    ASSERT_EQ(runSim(scratch_, {"run", "--device", device.string(), "--script", file.string(), "--trace", trace.string()}).exitCode, 0);
    Result told = runSim(scratch_, {"trace", trace.string()});
    ASSERT_EQ(told.exitCode, 0) << told.err;
    EXPECT_NE(told.out.find("booted, com.apple.mobilesafari in front\n"), std::string::npos) << told.out;
    EXPECT_NE(told.out.find(file.string() + ":1: refused: "), std::string::npos) << told.out;
    EXPECT_NE(told.out.find("  → Clear: task \"Call Anna\" in \"Work\": created\n"), std::string::npos) << told.out;

    std::ofstream(scratch_ / "bad.trace") << "{\"event\":\"front\",\"identifier\":\"x\"}\nnot json\n";
    Result bad = runSim(scratch_, {"trace", (scratch_ / "bad.trace").string()});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_NE(bad.err.find("bad.trace:2: not a trace event"), std::string::npos) << bad.err;
}

TEST_F(SimEndToEnd, DeviceShowJsonHoldsTheSameFacts) {
    fs::path device = makeDevice({"--clear", "--lists", "Work,Caf\xC3\xA9", "--default-list", "Work", "--front",
                                  "com.apple.mobilesafari"});
    ASSERT_EQ(runScript(device, "open\npick Work\ntype Call Anna\nsubmit\n").exitCode, 0);
    Result shown = runSim(scratch_, {"device", "show", "--json", device.string()});
    ASSERT_EQ(shown.exitCode, 0) << shown.err;
    ASSERT_EQ(std::count(shown.out.begin(), shown.out.end(), '\n'), 1) << shown.out;
    json facts = json::parse(shown.out);
    EXPECT_EQ(facts["front"], "com.apple.mobilesafari");
    EXPECT_EQ(facts["package"]["version"], "1.0.0");
    EXPECT_EQ(facts["clear"][kClear]["lists"], json({"Work", "Café"}));
    EXPECT_EQ(facts["clear"][kClear]["tasks"], json::array({{{"list", "Work"}, {"task", "Call Anna"}}}));
    EXPECT_EQ(facts["settings"]["defaultList"], "Work");
    EXPECT_TRUE(std::find(facts["apps"].begin(), facts["apps"].end(), kClear) != facts["apps"].end());
}

TEST_F(SimEndToEnd, AStateThatCannotBeSavedFailsTheRun) {
    fs::path device = makeDevice({"--clear", "--front", "home"});
    // A directory where the state file goes: the atomic write cannot rename over it.
    fs::remove(device / "var/mobile/Library/Preferences/com.velmora.sim.plist");
    fs::create_directories(device / "var/mobile/Library/Preferences/com.velmora.sim.plist/x");
    Result run = runScript(device, "front com.apple.mobilesafari\n");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("cannot record the app in front"), std::string::npos) << run.err;
}

TEST_F(SimEndToEnd, DeviceCreateRefusesToOverwrite) {
    fs::path device = makeDevice({"--clear"});
    Result again = runSim(scratch_, {"device", "create", device.string(), "--clear-plus"});
    EXPECT_EQ(again.exitCode, 2);
    EXPECT_NE(again.err.find("already exists"), std::string::npos);
    int containers = 0;
    for (auto& entry : fs::directory_iterator(device / "var/mobile/Applications")) containers += entry.is_directory();
    EXPECT_EQ(containers, 1);
}

TEST_F(SimEndToEnd, DeviceHoldsWhatWasAskedFor) {
    fs::path device = makeDevice({"--clear", "--clear-plus", "--lists", "One,Two", "--theme", "THEME_PINK_ID",
                                  "--default-list", "Two", "--front", "com.apple.mobilesafari"});
    fs::path container = clearDatabase(device, kClear).parent_path().parent_path().parent_path().parent_path();
    std::string preferences = readFile(container / "Library/Preferences/com.realmacsoftware.clear.plist");
    EXPECT_EQ(preferences.rfind("bplist00", 0), 0u);
    EXPECT_NE(preferences.find("THEME_PINK_ID"), std::string::npos);
    EXPECT_NE(readFile(device / "var/mobile/Library/Preferences/com.kelbrin.velmora.plist").find("<string>Two</string>"),
              std::string::npos);
    EXPECT_TRUE(fs::is_regular_file(device / "Library/MobileSubstrate/DynamicLibraries/VLIPC.so"));
    EXPECT_TRUE(fs::is_regular_file(device / "Library/MobileSubstrate/DynamicLibraries/VLIPC.plist"));
    EXPECT_TRUE(fs::is_regular_file(device / "Library/ProWidgets/Widgets/Velmora.widget/Info.plist"));
    EXPECT_TRUE(fs::is_regular_file(device / "Applications/MobileSafari.app/Info.plist"));
    EXPECT_EQ(query(clearDatabase(device, kClearPlus), "select title from lists"),
              (std::vector<std::string>{"One", "Two"}));

    // The default list is preselected and both apps are asked for, Clear winning.
    Result run = runScript(device, "open\n");
    auto events = run.events();
    EXPECT_EQ(named(events, "setValue").at(0)["value"], "Two");
    EXPECT_EQ(named(events, "setPreferredTintColor").at(0)["color"]["rgb"],
              json({0.904282, 0.252981, 0.444338}));
    EXPECT_EQ(named(events, "boot").at(0)["front"], "com.apple.mobilesafari");
}

TEST_F(SimEndToEnd, SameDeviceAndScriptGiveTheSameTrace) {
    const std::vector<std::string> options{"--clear", "--lists", "A,B", "--front", "com.apple.mobilenotes"};
    fs::path first = makeDevice(options, "first"), second = makeDevice(options, "second");
    const std::string script = "open\npick B\ntype t\nsubmit\nipc VLIPC.Lists\nnotify VLIPC.Kill {\"identifier\":\"home\"}\n";
    Result a = runScript(first, script), b = runScript(second, script);
    ASSERT_EQ(a.exitCode, 0);
    EXPECT_FALSE(a.out.empty());
    EXPECT_EQ(a.out, b.out);
    EXPECT_EQ(named(a.events(), "reply").at(0)["reply"], json({{"lists", {"A", "B"}}}));
}

TEST_F(SimEndToEnd, TheLoaderHonoursTheCompanionsFilter) {
    fs::path device = makeDevice({"--clear", "--lists", "A", "--front", "com.apple.mobilesafari"});
    std::ofstream(device / "Library/MobileSubstrate/DynamicLibraries/VLIPC.plist")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>Filter</key><dict>"
           "<key>Bundles</key><array><string>com.apple.mobilesafari</string></array></dict></dict></plist>\n";
    Result run = runScript(device, "ipc VLIPC.Lists\nopen\npick A\ntype x\nsubmit\n");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    auto events = run.events();
    EXPECT_EQ(named(events, "substrate").at(0)["loaded"], false);
    EXPECT_TRUE(named(events, "reply").at(0)["reply"].is_null());
    for (const auto& log : named(events, "log"))
        EXPECT_EQ(log["text"].get<std::string>().find("Fire ze missles"), std::string::npos);
    // Nobody brings the user back: Clear stays in front.
    EXPECT_EQ(named(events, "front").back()["identifier"], kClear);
}

TEST_F(SimEndToEnd, SampleDeviceRunsWithoutAnyArguments) {
    Result run = runSim(scratch_, {"run"}, "open\ntype Milk\nsubmit\n");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    auto events = run.events();
    auto clear = named(events, "clear");
    ASSERT_EQ(clear.size(), 1u) << run.out;
    EXPECT_EQ(clear[0]["result"], "created");
    auto titles = named(events, "setListItemTitles").at(0)["titles"];
    bool nonAscii = false, ampersand = false;
    for (const auto& t : titles) {
        std::string s = t;
        nonAscii |= std::any_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
        ampersand |= s.find('&') != std::string::npos;
    }
    EXPECT_TRUE(nonAscii && ampersand) << titles.dump();
    EXPECT_NE(named(events, "setPreferredTintColor").at(0)["color"],
              json({{"rgb", {0.883633, 0.336134, 0.0977991}}, {"alpha", 1.0}}));
}

TEST_F(SimEndToEnd, TraceGoesToTheFileGiven) {
    fs::path device = makeDevice({"--clear"});
    fs::path trace = scratch_ / "trace.jsonl";
    Result run = runSim(scratch_, {"run", "--device", device.string(), "--trace", trace.string()}, "open\n");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(run.out.empty());
    EXPECT_NE(readFile(trace).find("\"event\":\"setTitle\""), std::string::npos);
}

TEST_F(SimEndToEnd, SendAsksARunningServe) {
    fs::path device = makeDevice({"--clear", "--lists", "Groceries,Café ☕"});
    Result none = runSim(scratch_, {"send", device.string(), "VLIPC.Lists"});
    EXPECT_EQ(none.exitCode, 1);

    // Asked for a trace file; standard output stays empty, as it must for a serve in the background.
    pid_t server = spawn({"serve", "--device", device.string(), "--trace", (scratch_ / "serve.trace").string()}, "",
                         scratch_ / "serve.out", scratch_ / "serve.err", scratch_ / "serve.in");
    fs::path socket = device / "var/run/objcipc.sock";
    for (int i = 0; i < 200 && !fs::exists(socket); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(25));
    ASSERT_TRUE(fs::exists(socket)) << readFile(scratch_ / "serve.err");

    Result reply = runSim(scratch_, {"send", device.string(), "VLIPC.Lists", "{\"any\":1}"});
    EXPECT_EQ(reply.exitCode, 0) << reply.err;
    EXPECT_EQ(json::parse(reply.out), json({{"lists", {"Groceries", "Café ☕"}}}));

    Result unknown = runSim(scratch_, {"send", device.string(), "VLIPC.Nothing"});
    EXPECT_EQ(unknown.exitCode, 1);

    ::kill(server, SIGTERM);
    EXPECT_EQ(waitFor(server), 0);
    EXPECT_EQ(readFile(scratch_ / "serve.out"), "");
    std::string served = readFile(scratch_ / "serve.trace");
    EXPECT_NE(served.find("\"event\":\"lookup\""), std::string::npos) << served;
    EXPECT_FALSE(fs::exists(socket));
}

}  // namespace

TEST_F(SimEndToEnd, DemoOnTheSampleDeviceShowsTheWholeRoad) {
    Result demo = runSim(scratch_, {"run", "--demo"});
    ASSERT_EQ(demo.exitCode, 0) << demo.err;
    // Drawn without colour: the output is not a terminal.
    EXPECT_EQ(demo.out.find("\x1b["), std::string::npos);
    for (const char* seen : {"velmora> submit", "→ Clear: task \"Jam & toast\" in \"Bread & Butter\": created",
                             "→ in front: com.apple.mobilesafari", "→ Clear: list \"Holidays\": created",
                             "tasks: [Jam & toast] in [Bread & Butter]"})
        EXPECT_NE(demo.out.find(seen), std::string::npos) << seen << "\n" << demo.out;
    // The sample device was temporary: no trace, nothing left to clean up.
    EXPECT_EQ(demo.out.find("\"event\""), std::string::npos);
}
