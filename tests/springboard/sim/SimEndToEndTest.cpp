// The real velmora-sim binary, driven by scripts against devices it makes.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <thread>

#include "SimProcess.h"

using namespace simtest;
using nlohmann::json;

namespace {

const char* kClear = "com.realmacsoftware.clear";
const char* kClearPlus = "com.realmacsoftware.clear.universal";

// Rows of a one-column (or ' | '-joined) query, straight from SQLite.
std::vector<std::string> query(const fs::path& db, const std::string& sql) {
    std::vector<std::string> rows;
    sqlite3* handle = nullptr;
    if (sqlite3_open_v2(db.c_str(), &handle, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(handle, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK) {
            while (sqlite3_step(stmt) == SQLITE_ROW) {
                std::string row;
                for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
                    const unsigned char* text = sqlite3_column_text(stmt, c);
                    row += (c ? " | " : "") + std::string(text ? reinterpret_cast<const char*>(text) : "");
                }
                rows.push_back(row);
            }
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(handle);
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
        {{}, "no command given; the commands are device, run, send and serve"},
        {{"dance"}, "unknown command \"dance\""},
        {{"rnu"}, "(did you mean \"run\"?)"},
        {{"help", "run"}, "(for help: velmora-sim --help, or velmora-sim COMMAND --help)"},
        {{"run", "--frobnicate"}, "(see velmora-sim run --help)"},
        {{"run", "--color=blue"}, "(see velmora-sim run --help)"},
        {{"device", "create"}, "(see velmora-sim device create --help)"},
        {{"device", "create", (scratch_ / "d").string(), "--front", kClear}, ""},  // Clear not installed
        {{"serve"}, "(see velmora-sim serve --help)"},
        {{"send", scratch_.path().string(), "VLIPC.Lists", "[1]"}, "JSON object"},
        {{"send", scratch_.path().string(), "VLIPC.Lists", deep}, "nests deeper than 512"},
        {{"run", "--script", scratch_.path().string()}, "is not a regular file"},
        {{"run", "--script", "/dev/zero"}, "is not a regular file"},
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
    }
    EXPECT_FALSE(fs::exists(scratch_ / "d"));
}

TEST_F(SimEndToEnd, VersionAndHelpAnswerWithExit0) {
    Result version = runSim(scratch_, {"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "velmora-sim 1.0.0\n");
    Result help = runSim(scratch_, {"run", "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--color"), std::string::npos) << help.out;
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
        std::vector<fs::path> entries(fs::recursive_directory_iterator(scratch_ / "home"), {});
        EXPECT_EQ(entries, std::vector<fs::path>{scratch_ / "home/Documents"});
    }
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

    pid_t server = spawn({"serve", "--device", device.string()}, "", scratch_ / "serve.out", scratch_ / "serve.err",
                         scratch_ / "serve.in");
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
    std::string served = readFile(scratch_ / "serve.out");
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
