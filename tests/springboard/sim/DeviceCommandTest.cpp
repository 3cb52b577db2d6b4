// `velmora-sim device ...` through the real binary: devices made from the
// build's package, what create warns about, what show prints, what a
// failed create or install leaves behind, and the installed tool.

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>

#include <cstdio>

#include "SimProcess.h"

using namespace simtest;

namespace {

const std::string kPackage = buildDirectory() + "/" VELMORA_PACKAGE_FILE_NAME;
const std::string kArch = std::string(VELMORA_PACKAGE_FILE_NAME).substr(std::string("velmora_" VELMORA_VERSION "_").size(),
                                                                         std::string(VELMORA_PACKAGE_FILE_NAME).find(".deb") -
                                                                             std::string("velmora_" VELMORA_VERSION "_").size());

std::size_t countLines(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }

class DeviceCommand : public testing::Test {
protected:
    Result sim(const std::vector<std::string>& args, const std::string& input = "") {
        return runSim(scratch_, args, input);
    }
    std::string dir(const std::string& name) { return (scratch_ / name).string(); }
    Scratch scratch_;
};

TEST_F(DeviceCommand, InstallsThePackageIntoAFreshDeviceAndRunsOnIt) {
    Result made = sim({"device", "create", dir("d"), "--clear", "--lists", "Home , Work", "--package", kPackage});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    EXPECT_EQ(countLines(made.out), 1u) << made.out;
    EXPECT_EQ(made.err, "");
    EXPECT_TRUE(fs::is_regular_file(scratch_ / "d/Library/MobileSubstrate/DynamicLibraries/VLIPC.so"));

    // Installing again over the same files replaces them, and runs as before.
    Result again = sim({"device", "install", dir("d"), kPackage});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    std::ofstream(scratch_ / "s") << "open\npick Work\ntype Milk\nsubmit\n";
    Result run = sim({"run", "--device", dir("d"), "--script", dir("s")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");  // no warning: the device has the build's package
    auto substrate = named(run.events(), "substrate");
    ASSERT_EQ(substrate.size(), 1u);
    EXPECT_EQ(substrate[0]["loaded"], true);
    ASSERT_EQ(named(run.events(), "clear").size(), 1u) << run.out;

    Result shown = sim({"device", "show", dir("d")});
    ASSERT_EQ(shown.exitCode, 0) << shown.err;
    for (const char* part : {"package   com.kelbrin.velmora " VELMORA_VERSION, "lists   \"Home\", \"Work\"",
                             "task    \"Milk\" in \"Work\"", "front     com.apple.springboard",
                             "apps      com.apple.mobilemail com.apple.mobilenotes com.apple.mobilesafari com.realmacsoftware.clear"})
        EXPECT_NE(shown.out.find(part), std::string::npos) << part << "\n" << shown.out;
}

TEST_F(DeviceCommand, CreateWarnsAboutOddRequests) {
    struct Case {
        std::vector<std::string> options;
        std::string warning;  // "" for none
    };
    const Case cases[] = {
        {{"--clear", "--lists", "A, B", "--theme", "THEME_NOIR_ID", "--default-list", "B"}, ""},
        {{"--clear", "--lists", "A,,B"}, "--lists: an empty list name"},
        {{"--lists", "A"}, "--lists without --clear or --clear-plus"},
        {{"--clear", "--theme", "THEME_NOPE_ID"}, "--theme THEME_NOPE_ID: not one of Clear's themes"},
        {{"--clear", "--lists", "A", "--default-list", " A"}, "--default-list \" A\" is not among the lists"},
        {{"--clear", "--list", " A ", "--default-list", " A "}, ""},
    };
    int n = 0;
    for (const auto& c : cases) {
        std::vector<std::string> args{"device", "create", dir("w" + std::to_string(++n))};
        args.insert(args.end(), c.options.begin(), c.options.end());
        Result made = sim(args);
        SCOPED_TRACE(args[3]);
        EXPECT_EQ(made.exitCode, 0) << made.err;
        if (c.warning.empty()) EXPECT_EQ(made.err, "");
        else EXPECT_NE(made.err.find("velmora-sim: warning: " + c.warning), std::string::npos) << made.err;
        EXPECT_LE(countLines(made.err), 1u) << made.err;
    }
}

TEST_F(DeviceCommand, FailuresLeaveNothingBehind) {
    std::ofstream(scratch_ / "bogus.deb") << "not a package";
    Result made = sim({"device", "create", dir("new/parents/d"), "--clear", "--package", dir("bogus.deb")});
    EXPECT_EQ(made.exitCode, 1);
    EXPECT_EQ(countLines(made.err), 1u) << made.err;
    EXPECT_NE(made.err.find("not a Debian package"), std::string::npos) << made.err;
    EXPECT_FALSE(fs::exists(scratch_ / "new"));

    ASSERT_EQ(sim({"device", "create", dir("d"), "--clear"}).exitCode, 0);
    Result installed = sim({"device", "install", dir("d"), dir("bogus.deb")});
    EXPECT_EQ(installed.exitCode, 1);
    EXPECT_EQ(countLines(installed.err), 1u) << installed.err;
}

TEST_F(DeviceCommand, RunWarnsWhenTheDevicePackageIsNotTheBuilds) {
    ASSERT_EQ(sim({"device", "create", dir("d"), "--clear"}).exitCode, 0);
    // What dpkg keeps for a device made before a rebuild.
    fs::path sums = scratch_ / "d/var/lib/dpkg/info/com.kelbrin.velmora.md5sums";
    std::string text = readFile(sums);
    ASSERT_EQ(text.size(), readFile(buildDirectory() + "/velmora_" VELMORA_VERSION "_" + kArch + ".md5sums").size());
    text[0] = text[0] == '0' ? '1' : '0';
    std::ofstream(sums, std::ios::trunc) << text;

    Result run = sim({"run", "--device", dir("d"), "--script", "-"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.err.find("warning: this device's Velmora " VELMORA_VERSION " differs from the build's package"),
              std::string::npos)
        << run.err;
    EXPECT_NE(sim({"device", "show", dir("d")}).out.find("warning: this device's Velmora"), std::string::npos);

    ASSERT_EQ(sim({"device", "update", dir("d")}).exitCode, 0);
    EXPECT_EQ(sim({"run", "--device", dir("d"), "--script", "-"}).err, "");
}

TEST_F(DeviceCommand, UpdateConvertsADeviceFromBeforeDpkg) {
    ASSERT_EQ(sim({"device", "create", dir("d"), "--clear"}).exitCode, 0);
    fs::remove_all(scratch_ / "d/var/lib/dpkg");
    fs::create_directories(scratch_ / "d/var/lib/velmora");
    std::ofstream(scratch_ / "d/var/lib/velmora/status.plist") << "<plist/>";
    EXPECT_NE(sim({"device", "show", dir("d")}).out.find("package   none installed"), std::string::npos);

    Result updated = sim({"device", "update", dir("d")});
    ASSERT_EQ(updated.exitCode, 0) << updated.err;
    EXPECT_EQ(updated.out, "installed com.kelbrin.velmora " VELMORA_VERSION " into " + dir("d") + "\n");
    EXPECT_FALSE(fs::exists(scratch_ / "d/var/lib/velmora"));
    EXPECT_NE(sim({"device", "show", dir("d")}).out.find("package   com.kelbrin.velmora " VELMORA_VERSION),
              std::string::npos);
}

// Starts `serve` on `device` and waits until it answers or exits.
pid_t startServer(const Scratch& scratch, const std::string& device, const std::string& tag) {
    pid_t pid = spawn({"serve", "--device", device, "--trace", ""}, "", scratch / (tag + ".out"),
                      scratch / (tag + ".err"), scratch / (tag + ".in"));
    for (int i = 0; i < 200 && readFile(scratch / (tag + ".err")).find("running") == std::string::npos; ++i)
        ::usleep(10000);
    return pid;
}

TEST_F(DeviceCommand, OneSpringBoardPerDeviceAndNoInstallUnderIt) {
    ASSERT_EQ(sim({"device", "create", dir("d"), "--clear"}).exitCode, 0);
    const pid_t server = startServer(scratch_, dir("d"), "serve");
    const std::string serving = "a SpringBoard (pid " + std::to_string(server) + ") is serving it";

    Result install = sim({"device", "install", dir("d"), kPackage});
    EXPECT_EQ(install.exitCode, 1);
    EXPECT_EQ(install.err, "velmora-sim: cannot install into " + dir("d") + ": " + serving +
                               " (try again once it has stopped)\n");
    Result second = sim({"serve", "--device", dir("d"), "--trace", ""});
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_NE(second.err.find(serving), std::string::npos) << second.err;

    ::kill(server, SIGTERM);
    EXPECT_EQ(waitFor(server), 0);
    EXPECT_EQ(sim({"device", "install", dir("d"), kPackage}).exitCode, 0);
}

TEST_F(DeviceCommand, TwoServersRacingOnAStaleSocketLeaveOneServing) {
    ASSERT_EQ(sim({"device", "create", dir("d"), "--clear"}).exitCode, 0);
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        // A socket nobody answers on, as a killed SpringBoard leaves one.
        const std::string socket = dir("d") + "/var/run/objcipc.sock";
        int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socket.c_str());
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(fd);

        pid_t first = spawn({"serve", "--device", dir("d"), "--trace", ""}, "", scratch_ / "a.out", scratch_ / "a.err",
                            scratch_ / "a.in");
        pid_t second = spawn({"serve", "--device", dir("d"), "--trace", ""}, "", scratch_ / "b.out", scratch_ / "b.err",
                             scratch_ / "b.in");
        // The loser exits on its own; the winner serves until stopped.
        int exits = 0;
        for (int i = 0; i < 300 && exits == 0; ++i, ::usleep(10000))
            for (pid_t pid : {first, second})
                if (int status; ::waitpid(pid, &status, WNOHANG) == pid) {
                    ++exits;
                    EXPECT_EQ(WEXITSTATUS(status), 1);
                    std::string err = readFile(scratch_ / (pid == first ? "a.err" : "b.err"));
                    pid_t winner = pid == first ? second : first;
                    EXPECT_NE(err.find("a SpringBoard (pid " + std::to_string(winner) + ") is serving it"), std::string::npos)
                        << err;
                    const fs::path winnerErr = scratch_ / (pid == first ? "b.err" : "a.err");
                    for (int j = 0; j < 200 && readFile(winnerErr).find("running") == std::string::npos; ++j)
                        ::usleep(10000);
                    Result lists = sim({"send", dir("d"), "VLIPC.Lists"});
                    EXPECT_EQ(lists.exitCode, 0) << lists.err;
                    ::kill(winner, SIGTERM);
                    EXPECT_EQ(waitFor(winner), 0);
                }
        ASSERT_EQ(exits, 1);
    }
}

TEST_F(DeviceCommand, RunCopiesASampleDeviceMadeOncePerBuild) {
    const fs::path sample = buildDirectory() + "/sample-device";
    ASSERT_EQ(sim({"run", "--script", "-"}, "ipc VLIPC.Lists\n").exitCode, 0);
    const std::string log = readFile(sample / "var/log/dpkg.log");
    ASSERT_NE(log.find("status installed com.kelbrin.velmora"), std::string::npos) << log;
    Result again = sim({"run", "--script", "-"}, "ipc VLIPC.Lists\n");
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(named(again.events(), "reply").size(), 1u);
    EXPECT_EQ(readFile(sample / "var/log/dpkg.log"), log);  // no dpkg run

    // A template whose files are not the build's is made again.
    std::ofstream(sample / "var/lib/dpkg/info/com.kelbrin.velmora.md5sums", std::ios::app) << "0  changed\n";
    ASSERT_EQ(sim({"run", "--script", "-"}, "").exitCode, 0);
    EXPECT_EQ(readFile(sample / "var/lib/dpkg/info/com.kelbrin.velmora.md5sums"),
              readFile(buildDirectory() + "/velmora_" VELMORA_VERSION "_" + kArch + ".md5sums"));
}

TEST_F(DeviceCommand, HostileStateFileDoesNotCrashRun) {
    ASSERT_EQ(sim({"device", "create", dir("d"), "--clear", "--front", "com.apple.mobilesafari"}).exitCode, 0);
    std::string nested = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>frontApplication</key>";
    for (int i = 0; i < 200000; ++i) nested += "<array>";
    std::ofstream(scratch_ / "d/var/mobile/Library/Preferences/com.velmora.sim.plist") << nested;
    Result run = sim({"run", "--device", dir("d"), "--script", "-"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    auto boot = named(run.events(), "boot");
    ASSERT_EQ(boot.size(), 1u);
    EXPECT_EQ(boot[0]["front"], "com.apple.springboard");
}

// The tools component alone: the installed program finds the package, its
// md5sums and the package check under its own prefix.
TEST_F(DeviceCommand, TheInstalledToolKeepsPackagesFromItsPrefix) {
    const fs::path prefix = scratch_ / "prefix";
    const std::string install = "'" CMAKE_COMMAND "' --install '" + buildDirectory() + "' --component tools --prefix '" +
                                prefix.string() + "' > '" + dir("install.log") + "' 2>&1";
    ASSERT_EQ(std::system(install.c_str()), 0) << readFile(scratch_ / "install.log");
    const std::string installed = (prefix / "bin/velmora-sim").string();
    const auto tool = [&](const std::vector<std::string>& args, const std::string& input = "") {
        return runSim(scratch_, args, input, installed);
    };

    Result made = tool({"device", "create", dir("d"), "--clear"});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    Result updated = tool({"device", "update", dir("d")});
    EXPECT_EQ(updated.exitCode, 0) << updated.err;
    Result removed = tool({"device", "remove", dir("d")});
    EXPECT_EQ(removed.exitCode, 0) << removed.err;
    // Only with the build's md5sums at hand does it know what is missing.
    EXPECT_NE(tool({"device", "show", dir("d")}).out.find("warning: this device has no Velmora package installed"),
              std::string::npos);
    Result reinstalled = tool({"device", "install", dir("d"), (prefix / "share/velmora" / VELMORA_PACKAGE_FILE_NAME).string()});
    EXPECT_EQ(reinstalled.exitCode, 0) << reinstalled.err;
    EXPECT_EQ(tool({"device", "show", dir("d")}).out.find("warning"), std::string::npos);

    Result run = tool({"run", "--script", "-"}, "ipc VLIPC.Lists\n");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(named(run.events(), "reply").size(), 1u) << run.out;
}

}  // namespace
