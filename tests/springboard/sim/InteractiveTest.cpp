// The interactive prompt of `velmora-sim run`, driven through tmux as a
// person would type at it.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "SimProcess.h"

using namespace simtest;

namespace {

std::string shellQuote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string capture(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
        ::pclose(pipe);
    }
    return out;
}

int sessions = 0;

// One tmux server of the test's own (its own socket), one session in it.
class TmuxSession {
public:
    explicit TmuxSession(const std::string& command, int width = 120)
        : socket_("velmora-sim-test-" + std::to_string(::getpid()) + "-" + std::to_string(++sessions)) {
        run("new-session -d -s sim -x " + std::to_string(width) + " -y 60 " + shellQuote(command));
    }
    ~TmuxSession() { run("kill-server"); }

    int run(const std::string& arguments) {
        return std::system(("tmux -L " + socket_ + " " + arguments + " >/dev/null 2>&1").c_str());
    }
    void keys(const std::string& keys) { run("send-keys -t sim " + keys); }
    std::string screen(bool escapes = false) {
        return capture("tmux -L " + socket_ + " capture-pane -p -J -S -200 " + (escapes ? "-e " : "") + "-t sim 2>/dev/null");
    }
    bool alive() { return run("has-session -t sim") == 0; }

    // Waits (up to ten seconds) for `text` to show; returns whether it did.
    bool waitFor(const std::string& text, bool escapes = false) {
        for (int i = 0; i < 400; ++i) {
            if (screen(escapes).find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        return false;
    }

private:
    std::string socket_;
};

TEST(Interactive, PromptCompletesDrawsTheSheetAndAddsTheTask) {
    if (std::system("command -v tmux >/dev/null 2>&1") != 0) GTEST_SKIP() << "tmux is not installed";
    Scratch scratch;
    fs::path device = scratch / "device";
    Result made = runSim(scratch, {"device", "create", device.string(), "--clear", "--lists", "Groceries,Bread & Butter",
                                   "--theme", "THEME_GRAPHITE_ID", "--front", "com.apple.mobilesafari"});
    ASSERT_EQ(made.exitCode, 0) << made.err;

    TmuxSession tmux("env -u NO_COLOR TERM=xterm-256color XDG_STATE_HOME=" + scratch.path().string() + " " + simBinary() +
                     " run --device " + device.string());
    ASSERT_TRUE(tmux.waitFor("velmora>")) << tmux.screen();
    ASSERT_TRUE(tmux.waitFor("the widget is closed"));

    // Tab completes the command word, then a list title with blanks in it.
    tmux.keys("op Tab Enter");
    ASSERT_TRUE(tmux.waitFor("Create List...")) << tmux.screen();
    EXPECT_NE(tmux.screen().find("velmora> open"), std::string::npos);
    tmux.keys("'pick Br' Tab Enter");
    ASSERT_TRUE(tmux.waitFor("List  Bread & Butter")) << tmux.screen();

    // The title bar wears the theme: graphite tint behind white text.
    EXPECT_TRUE(tmux.waitFor("48;2;101;120;139m", true)) << tmux.screen(true);

    tmux.keys("'type Jam' Enter");
    ASSERT_TRUE(tmux.waitFor("Task  Jam"));
    tmux.keys("submit Enter");
    ASSERT_TRUE(tmux.waitFor("Clear: task \"Jam\" in \"Bread & Butter\": created")) << tmux.screen();
    EXPECT_TRUE(tmux.waitFor("in front: com.apple.mobilesafari"));

    // A line it cannot parse is reported, and the prompt carries on.
    tmux.keys("'pick-index x' Enter");
    EXPECT_TRUE(tmux.waitFor("pick-index needs a non-negative whole number"));

    // History: Up brings back the last line.
    tmux.keys("Up");
    EXPECT_TRUE(tmux.waitFor("velmora> pick-index x"));
    tmux.keys("C-u quit Enter");
    for (int i = 0; i < 400 && tmux.alive(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(25));
    EXPECT_FALSE(tmux.alive());

    // What the prompt did is in Clear's database.
    Result lists = runSim(scratch, {"run", "--device", device.string()}, "ipc VLIPC.Lists\n");
    EXPECT_NE(lists.out.find("\"lists\":[\"Groceries\",\"Bread & Butter\"]"), std::string::npos) << lists.out;
}

bool waitUntilGone(TmuxSession& tmux) {
    for (int i = 0; i < 400 && tmux.alive(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(25));
    return !tmux.alive();
}

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
    return n;
}

// One session, typed step by step; each step's keys and what must then show.
TEST(Interactive, ThePromptQuotesExplainsAndRefusesVisibly) {
    if (std::system("command -v tmux >/dev/null 2>&1") != 0) GTEST_SKIP() << "tmux is not installed";
    Scratch scratch;
    fs::path device = scratch / "device";
    Result made = runSim(scratch, {"device", "create", device.string(), "--clear", "--lists",
                                   "Groceries,\"Quoted\" list", "--list", "  Weekend  ", "--list", "#hashtag", "--front", "com.apple.mobilesafari"});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    // Standard output is a pipe, standard input the terminal: still a prompt.
    // (The reader of the pipe ignores Ctrl-C, as `tee` in a real pipe would have to.)
    TmuxSession tmux("env XDG_STATE_HOME=" + scratch.path().string() + " " + simBinary() + " run --color=never --device " +
                         device.string() + " | sh -c 'trap \"\" INT; exec tee " + (scratch / "log").string() + "'",
                     52);
    ASSERT_TRUE(tmux.waitFor("velmora>")) << tmux.screen();
    const struct {
        const char* keys;
        const char* shows;
    } steps[] = {
        {"submit Enter", "refused: no widget is open"},
        {"opn Enter", "unknown command \"opn\" (did you mean \"open\"?); \"help\" lists the commands"},
        {"help Enter", "quit | exit"},
        {"'help pick' Enter", "Chooses the first list titled TITLE"},
        {"open Enter", "Create List..."},
        {"submit Enter", "refused: Not creating a task: no list is chosen"},
        {"'pick \"Q' Tab Enter", "List  \"Quoted\" list"},
        {"\"pick '  We\" Tab", "velmora> pick \"  Weekend  \""},
        {"Enter", "List    Weekend"},
        {"'type Fix bug #12' Enter", "Task  Fix bug #12"},
        {"'pick #h' Tab Enter", "List  #hashtag"},
        {"'pick Create' Tab Enter", "answer NAME to confirm, or cancel"},
        {"pick-index", "velmora> pick-index"},
        {"C-c", "velmora> pick-index^C"},
        {"'pick Nope' Enter", "refused: no choice titled Nope; the choices are: Groceries"},
        {"cancel Enter", "List  #hashtag"},
        {"close Enter", "the widget is closed"},
        {"close Enter", "refused: no widget is open"},
        {"show Enter", "lists: [Groceries] [\"Quoted\" list]"},
    };
    for (const auto& step : steps) {
        tmux.keys(step.keys);
        ASSERT_TRUE(tmux.waitFor(step.shows)) << step.keys << "\n" << tmux.screen();
    }
    std::string screen = tmux.screen();
    // "Closed" is said when the widget closes, not after every refused line.
    EXPECT_EQ(occurrences(screen, "the widget is closed"), 2u) << screen;
    // Seven changes, seven sheets: refused lines (submit, pick Nope) draw none.
    EXPECT_EQ(occurrences(screen, "┌"), 7u) << screen;
    // The sheet takes the terminal's 52 columns.
    EXPECT_NE(screen.find("┌" + [] { std::string s; for (int i = 0; i < 50; ++i) s += "─"; return s; }() + "┐"),
              std::string::npos) << screen;
    EXPECT_EQ(screen.find("\x1b["), std::string::npos);

    // Ctrl-D leaves; the history is kept for the next session.
    tmux.keys("C-d");
    EXPECT_TRUE(waitUntilGone(tmux));
    const std::string history = readFile(scratch / "velmora/history");
    EXPECT_NE(history.find("type Fix bug #12\n"), std::string::npos) << history;
    EXPECT_EQ(history.find("pick-index\n"), std::string::npos) << history;  // the cancelled line
    // The log behind the pipe holds the lines as taken, and no terminal codes.
    const std::string log = readFile(scratch / "log");
    EXPECT_NE(log.find("velmora> type Fix bug #12\n"), std::string::npos) << log;
    EXPECT_EQ(log.find('\x1b'), std::string::npos) << log;
    EXPECT_EQ(log.find('\r'), std::string::npos) << log;
}

TEST(Interactive, CtrlCCancelsTheLineAndCtrlDLeavesInOrder) {
    if (std::system("command -v tmux >/dev/null 2>&1") != 0) GTEST_SKIP() << "tmux is not installed";
    Scratch scratch;
    fs::create_directories(scratch / "tmp");
    fs::path status = scratch / "status";
    // The sample device: made in a temporary directory and removed on the way out.
    // The shell waits out the interrupt (a handler, not ignoring, so the program still gets it).
    TmuxSession tmux("sh -c " + shellQuote("trap : INT; TMPDIR=" + (scratch / "tmp").string() + " HOME=" + scratch.path().string() +
                                           " " + simBinary() + " run; echo $? > " + status.string()));
    ASSERT_TRUE(tmux.waitFor("velmora>")) << tmux.screen();
    tmux.keys("open C-c");
    ASSERT_TRUE(tmux.waitFor("^C")) << tmux.screen();
    tmux.keys("open Enter");
    ASSERT_TRUE(tmux.waitFor("Create List...")) << tmux.screen();
    EXPECT_FALSE(fs::exists(status));
    tmux.keys("C-d");
    for (int i = 0; i < 400 && !fs::exists(status); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(25));
    EXPECT_EQ(readFile(status), "0\n");
    EXPECT_TRUE(fs::is_empty(scratch / "tmp"));
    EXPECT_NE(readFile(scratch / ".velmora_history").find("open\n"), std::string::npos);
}

TEST(Interactive, ColourFollowsTheFlagAndNoColor) {
    if (std::system("command -v tmux >/dev/null 2>&1") != 0) GTEST_SKIP() << "tmux is not installed";
    const struct {
        const char* environment;
        const char* flag;
        bool coloured;
    } cases[] = {
        {"NO_COLOR=", "", true},
        {"NO_COLOR=1", "", false},
        {"NO_COLOR=1", "--color=always", true},
        {"-u NO_COLOR", "--color=never", false},
    };
    for (const auto& c : cases) {
        Scratch scratch;
        TmuxSession tmux(std::string("env ") + c.environment + " TERM=xterm-256color HOME=" + scratch.path().string() + " " +
                         simBinary() + " run " + c.flag);
        ASSERT_TRUE(tmux.waitFor("velmora>")) << tmux.screen();
        tmux.keys("open Enter");
        ASSERT_TRUE(tmux.waitFor("Create List..."));
        EXPECT_EQ(tmux.screen(true).find("\x1b[") != std::string::npos, c.coloured) << c.environment << " " << c.flag;
    }
}

}  // namespace
