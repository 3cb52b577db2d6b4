#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "NSBundle.h"
#include "NSLog.h"
#include "NSPathUtilities.h"
#include "ObjCRuntime.h"
#include "Platform.h"
#include "TempDirectory.h"

TEST(HomeDirectory, FollowsTheDeviceRootThenAnOverride) {
    springboard::setDeviceRoot("/dev/root");
    EXPECT_EQ(springboard::deviceRoot(), "/dev/root");
    EXPECT_EQ(NSHomeDirectory(), "/dev/root/var/mobile");
    springboard::setHomeDirectory("/elsewhere");
    EXPECT_EQ(NSHomeDirectory(), "/elsewhere");
    springboard::setDeviceRoot("");
    EXPECT_FALSE(NSHomeDirectory().empty());
}

TEST(Bundle, ExistsOnlyForADirectory) {
    TempDirectory dir;
    auto app = dir.make("c1/Clear.app");
    writeFile(app / "Info.plist", "x");
    auto bundle = NSBundle::bundleWithPath(app.string() + "/");
    ASSERT_TRUE(bundle);
    EXPECT_EQ(bundle->resourcePath(), app.string());
    EXPECT_EQ(bundle->pathForResource("Info", "plist"), (app / "Info.plist").string());
    EXPECT_EQ(bundle->pathForResource("Missing", "plist"), std::nullopt);
    EXPECT_FALSE(NSBundle::bundleWithPath(std::nullopt));
    EXPECT_FALSE(NSBundle::bundleWithPath(""));
    EXPECT_FALSE(NSBundle::bundleWithPath((app / "Info.plist").string()));
    EXPECT_FALSE(NSBundle::bundleWithPath((dir.path() / "nothing").string()));
}

TEST(Log, SinksGetTheBareMessageUntilRemoved) {
    springboard::setLogToStandardError(false);
    std::vector<std::string> seen;
    auto sink = springboard::addLogSink([&](const std::string& m) { seen.push_back(m); });
    NSLog("[Velmora]Opening app...");
    NSLog("[Velmora]Go %@ %@", {Value("x"), Value()});
    sink.reset();
    NSLog("[Velmora]not seen");
    EXPECT_EQ(seen, (std::vector<std::string>{"[Velmora]Opening app...", "[Velmora]Go x (null)"}));
}

TEST(Log, ASinkMayLogItself) {
    springboard::setLogToStandardError(false);
    int depth = 0;
    const auto sink = springboard::addLogSink([&](const std::string&) {
        if (depth++ == 0) NSLog("again");
    });
    NSLog("once");
    EXPECT_EQ(depth, 2);
}

TEST(Runtime, LookupMissesUntilRegisteredAndAfterDestruction) {
    EXPECT_EQ(objc_getClass("VLTestClass"), nullptr);
    {
        ObjCClass cls("VLTestClass");
        objc_registerClass(&cls);
        EXPECT_EQ(objc_getClass("VLTestClass"), &cls);
        ObjCClass other("VLTestClass");
        objc_registerClass(&other);
        EXPECT_EQ(objc_getClass("VLTestClass"), &other);
        objc_unregisterClass(&cls);  // not the registered one: no effect
        EXPECT_EQ(objc_getClass("VLTestClass"), &other);
    }
    EXPECT_EQ(objc_getClass("VLTestClass"), nullptr);
}
