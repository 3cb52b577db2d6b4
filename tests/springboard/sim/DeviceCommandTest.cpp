// `velmora-sim device ...` through the real binary: devices made from the
// build's package, what create warns about, what show prints, and what a
// failed create or install leaves behind.

#include <gtest/gtest.h>

#include "SimProcess.h"

using namespace simtest;

namespace {

const std::string kPackage = buildDirectory() + "/" VELMORA_PACKAGE_FILE_NAME;

std::size_t countLines(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }

class DeviceCommand : public testing::Test {
protected:
    Result sim(const std::vector<std::string>& args) { return runSim(scratch_, args); }
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
    // What a device made before a rebuild records.
    fs::path status = scratch_ / "d/var/lib/velmora/status.plist";
    std::string text = readFile(status);
    std::size_t digest = text.find("<key>Digest</key>");
    ASSERT_NE(digest, std::string::npos) << text;
    std::size_t value = text.find("<string>", digest) + 8;
    text.replace(value, text.find("</string>", value) - value, "0000000000000000");
    std::ofstream(status, std::ios::trunc) << text;

    Result run = sim({"run", "--device", dir("d"), "--script", "-"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.err.find("warning: this device's Velmora " VELMORA_VERSION " differs from the build's package"),
              std::string::npos)
        << run.err;
    EXPECT_NE(sim({"device", "show", dir("d")}).out.find("warning: this device's Velmora"), std::string::npos);

    ASSERT_EQ(sim({"device", "update", dir("d")}).exitCode, 0);
    EXPECT_EQ(sim({"run", "--device", dir("d"), "--script", "-"}).err, "");
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

}  // namespace
