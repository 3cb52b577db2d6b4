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

// One tmux server of the test's own (its own socket), one session in it.
class TmuxSession {
public:
    TmuxSession(const std::string& command) : socket_("velmora-sim-test-" + std::to_string(::getpid())) {
        run("new-session -d -s sim -x 120 -y 60 " + shellQuote(command));
    }
    ~TmuxSession() { run("kill-server"); }

    int run(const std::string& arguments) {
        return std::system(("tmux -L " + socket_ + " " + arguments + " >/dev/null 2>&1").c_str());
    }
    void keys(const std::string& keys) { run("send-keys -t sim " + keys); }
    std::string screen(bool escapes = false) {
        return capture("tmux -L " + socket_ + " capture-pane -p -S -200 " + (escapes ? "-e " : "") + "-t sim 2>/dev/null");
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

    TmuxSession tmux("env -u NO_COLOR TERM=xterm-256color " + simBinary() + " run --device " + device.string());
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

TEST(Interactive, CtrlCLeavesInOrder) {
    if (std::system("command -v tmux >/dev/null 2>&1") != 0) GTEST_SKIP() << "tmux is not installed";
    Scratch scratch;
    fs::path status = scratch / "status";
    // The sample device: made in a temporary directory and removed on the way out.
    // The shell waits out the interrupt (a handler, not ignoring, so the program still gets it).
    TmuxSession tmux("sh -c " + shellQuote("trap : INT; " + simBinary() + " run; echo $? > " + status.string()));
    ASSERT_TRUE(tmux.waitFor("velmora>")) << tmux.screen();
    tmux.keys("open C-c");
    for (int i = 0; i < 400 && !fs::exists(status); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(25));
    EXPECT_EQ(readFile(status), "0\n");
}

}  // namespace
