// `velmora-sim send` and the trace's reply event when no reply comes: each
// cause gets its own one-line message and the documented exit status.

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <thread>

#include "SimProcess.h"

namespace {

using namespace simtest;

TEST(SendFailureTest, EachCauseIsNamedWithItsExitStatus) {
    Scratch scratch;
    const fs::path device = scratch / "device";
    ASSERT_EQ(runSim(scratch, {"device", "create", device.string(), "--clear", "--lists", "A"}).exitCode, 0);
    const fs::path idle = scratch / "idle";
    ASSERT_EQ(runSim(scratch, {"device", "create", idle.string()}).exitCode, 0);
    { std::ofstream(scratch / "file") << "not a device"; }

    const pid_t server = spawn({"serve", "--device", device.string(), "--trace", ""}, "", scratch / "serve.out",
                               scratch / "serve.err", scratch / "serve.in");
    const fs::path socket = device / "var/run/objcipc.sock";
    for (int i = 0; i < 400 && !fs::exists(socket); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(25));
    ASSERT_TRUE(fs::exists(socket)) << readFile(scratch / "serve.err");

    const struct {
        const char* what;
        std::vector<std::string> args;
        int exitCode;
        const char* says;
    } cases[] = {
        {"answered", {device.string(), "VLIPC.Lists"}, 0, ""},
        {"missing device", {(scratch / "nowhere").string(), "VLIPC.Lists"}, 1, "no such directory"},
        {"file for a device", {(scratch / "file").string(), "VLIPC.Lists"}, 1, "not a directory"},
        {"nobody serving", {idle.string(), "VLIPC.Lists"}, 1, "no SpringBoard is serving"},
        {"no handler", {device.string(), "VLIPC.Nothing"}, 1, "no handler for VLIPC.Nothing"},
        {"bad JSON", {device.string(), "VLIPC.Lists", "[1]"}, 2, "JSON object"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"send"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Result result = runSim(scratch, args);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.what << ": " << result.err;
        if (c.exitCode == 0) continue;
        EXPECT_NE(result.err.find(c.says), std::string::npos) << c.what << ": " << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << c.what << ": " << result.err;
    }
    ::kill(server, SIGTERM);
    EXPECT_EQ(waitFor(server), 0);
}

TEST(SendFailureTest, TheTraceCarriesSpringBoardsErrorText) {
    Scratch scratch;
    const fs::path device = scratch / "device";
    ASSERT_EQ(runSim(scratch, {"device", "create", device.string(), "--clear", "--lists", "A"}).exitCode, 0);
    const Result run = runSim(scratch, {"run", "--device", device.string()}, "ipc VLIPC.Nothing\nipc VLIPC.Lists\n");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto replies = named(run.events(), "reply");
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_TRUE(replies[0]["reply"].is_null());
    EXPECT_EQ(replies[0]["error"], "no handler for VLIPC.Nothing");
    EXPECT_FALSE(replies[1].contains("error"));
}

}  // namespace
