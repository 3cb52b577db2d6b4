#include <gtest/gtest.h>

#include "ApplicationController.h"
#include "ApplicationRegistry.h"
#include "ObjCRuntime.h"
#include "TestDevice.h"

namespace {

std::vector<std::string> identifiersOf(const ApplicationRegistry& registry) {
    std::vector<std::string> ids;
    for (const auto& app : registry.applications()) ids.push_back(app->identifier());
    return ids;
}

TEST(ApplicationRegistryTest, ScansSystemAppsThenAppStoreApps) {
    TestDevice device;
    const auto clear = device.installClear({"Home"});
    const auto safari = device.installSystemApp("MobileSafari", "com.apple.mobilesafari", {"http", "https"});
    const auto notes = device.installApp("Notes", "com.example.notes");

    const auto registry = ApplicationRegistry::scan(device.root());
    EXPECT_EQ(identifiersOf(*registry),
              (std::vector<std::string>{"com.apple.mobilesafari", "com.realmacsoftware.clear", "com.example.notes"}));

    const auto found = registry->applicationWithIdentifier("com.realmacsoftware.clear");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->path(), clear);
    EXPECT_EQ(found->displayIdentifier(), "com.realmacsoftware.clear");
    EXPECT_EQ(found->urlSchemes(), std::vector<std::string>{"clearapp"});
    EXPECT_EQ(registry->applicationWithIdentifier("com.apple.mobilesafari")->path(), safari);
    EXPECT_EQ(registry->applicationWithIdentifier("com.example.notes")->path(), notes);
    EXPECT_EQ(registry->applicationWithIdentifier("com.realmacsoftware.CLEAR"), nullptr);
    EXPECT_EQ(registry->applicationWithIdentifier(""), nullptr);
}

TEST(ApplicationRegistryTest, FindsAppsByURLSchemeIgnoringCase) {
    TestDevice device;
    device.installSystemApp("MobileSafari", "com.apple.mobilesafari", {"http", "https"});
    device.installClear({});
    const auto registry = ApplicationRegistry::scan(device.root());
    EXPECT_EQ(registry->applicationForURLScheme("clearapp")->identifier(), "com.realmacsoftware.clear");
    EXPECT_EQ(registry->applicationForURLScheme("ClearApp")->identifier(), "com.realmacsoftware.clear");
    EXPECT_EQ(registry->applicationForURLScheme("https")->identifier(), "com.apple.mobilesafari");
    EXPECT_EQ(registry->applicationForURLScheme("ftp"), nullptr);
    EXPECT_EQ(registry->applicationForURLScheme(""), nullptr);
}

TEST(ApplicationRegistryTest, SkipsBundlesWithoutAUsableInfoPlist) {
    TestDevice device;
    device.installApp("Good", "com.example.good");
    writeFile(device.path("Applications/Missing.app/Other.txt"), "no Info.plist here");
    writeFile(device.path("Applications/Corrupt.app/Info.plist"), "<plist><dict><key>CFBundle");
    writeFile(device.path("Applications/ArrayRoot.app/Info.plist"),
              "<plist version=\"1.0\"><array><string>x</string></array></plist>");
    writeFile(device.path("Applications/NoIdentifier.app/Info.plist"),
              "<plist version=\"1.0\"><dict><key>CFBundleName</key><string>x</string></dict></plist>");
    writeFile(device.path("Applications/NumberIdentifier.app/Info.plist"),
              "<plist version=\"1.0\"><dict><key>CFBundleIdentifier</key><integer>7</integer></dict></plist>");
    writeFile(device.path("Applications/NotABundle/Info.plist"), TestDevice::infoPlist("com.example.notbundle", {}));
    writeFile(device.path("Applications/File.app"), "a file, not a directory");
    // Oddly shaped URL types are ignored, the app itself kept.
    writeFile(device.path("Applications/OddTypes.app/Info.plist"),
              "<plist version=\"1.0\"><dict><key>CFBundleIdentifier</key><string>com.example.odd</string>"
              "<key>CFBundleURLTypes</key><array><string>x</string><dict><key>CFBundleURLSchemes</key>"
              "<array><integer>1</integer><string>odd</string></array></dict></array></dict></plist>");

    const auto registry = ApplicationRegistry::scan(device.root());
    EXPECT_EQ(identifiersOf(*registry), (std::vector<std::string>{"com.example.odd", "com.example.good"}));
    EXPECT_EQ(registry->applicationWithIdentifier("com.example.odd")->urlSchemes(), std::vector<std::string>{"odd"});
}

TEST(ApplicationRegistryTest, FirstBundleWithAnIdentifierWins) {
    TestDevice device;
    const auto system = device.installSystemApp("Clear", "com.realmacsoftware.clear");
    device.installClear({});
    const auto registry = ApplicationRegistry::scan(device.root());
    EXPECT_EQ(registry->applications().size(), 1u);
    EXPECT_EQ(registry->applicationWithIdentifier("com.realmacsoftware.clear")->path(), system);
}

TEST(ApplicationRegistryTest, MissingDeviceIsEmpty) {
    EXPECT_TRUE(ApplicationRegistry::scan("/nonexistent/velmora/device")->applications().empty());
    EXPECT_TRUE(ApplicationRegistry::scan("")->applications().empty());
}

TEST(ApplicationControllerTest, ReportsEveryLookupAndIsFoundByClassName) {
    TestDevice device;
    device.installClear({});
    auto controller = std::make_shared<ApplicationController>(ApplicationRegistry::scan(device.root()));
    std::vector<std::pair<std::string, bool>> lookups;
    controller->setLookupListener([&](const std::string& id, bool found) { lookups.emplace_back(id, found); });

    ApplicationControllerClass cls(controller);
    EXPECT_EQ(objc_getClass("SBApplicationController"), nullptr);
    objc_registerClass(&cls);
    auto* found = dynamic_cast<SBApplicationControllerClass*>(objc_getClass("SBApplicationController"));
    ASSERT_NE(found, nullptr);
    const auto shared = found->sharedInstance();
    EXPECT_NE(shared->applicationWithDisplayIdentifier("com.realmacsoftware.clear"), nullptr);
    EXPECT_EQ(shared->applicationWithDisplayIdentifier("com.realmacsoftware.clear.universal"), nullptr);
    objc_unregisterClass(&cls);
    EXPECT_EQ(objc_getClass("SBApplicationController"), nullptr);

    EXPECT_EQ(lookups, (std::vector<std::pair<std::string, bool>>{{"com.realmacsoftware.clear", true},
                                                                  {"com.realmacsoftware.clear.universal", false}}));
}

}  // namespace
