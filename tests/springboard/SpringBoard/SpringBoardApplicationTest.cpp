#include <gtest/gtest.h>

#include "ObjCRuntime.h"
#include "Platform.h"
#include "SpringBoardServices.h"
#include "TestDevice.h"
#include "UIApplication.h"

namespace {

// Writes every event as one line, in order.
class RecordingEvents : public SpringBoardEvents {
public:
    std::vector<std::string> lines;

    void openURL(const std::shared_ptr<NSURL>& url, bool handled) override {
        lines.push_back("openURL " + (url ? url->absoluteString() : "(null)") + (handled ? " handled" : " unhandled"));
    }
    void applicationOpenedURL(const std::shared_ptr<InstalledApplication>& app,
                              const std::shared_ptr<NSURL>& url) override {
        lines.push_back(app->identifier() + " got " + url->absoluteString());
    }
    void quitTopApplication() override { lines.push_back("quit"); }
    void launchApplication(const std::string& id, bool suspended) override {
        lines.push_back("launch " + id + (suspended ? " suspended" : ""));
    }
    void frontChanged(const std::shared_ptr<InstalledApplication>& front) override {
        lines.push_back("front " + (front ? front->identifier() : std::string("home")));
    }
};

class SpringBoardApplicationTest : public ::testing::Test {
protected:
    SpringBoardApplicationTest() {
        device_.installSystemApp("MobileSafari", "com.apple.mobilesafari", {"http"});
        device_.installClear({"Home"});
        services_ = SpringBoardServices::boot(device_.root(), events_);
        app_ = services_->application();
    }

    std::string frontIdentifier() const {
        const auto front = app_->_accessibilityFrontMostApplication();
        return front ? front->displayIdentifier().value_or("?") : "home";
    }

    TestDevice device_;
    std::shared_ptr<RecordingEvents> events_ = std::make_shared<RecordingEvents>();
    std::unique_ptr<SpringBoardServices> services_;
    std::shared_ptr<SpringBoardApplication> app_;
};

TEST_F(SpringBoardApplicationTest, BootSetsUpTheProcessAsSpringBoard) {
    EXPECT_EQ(UIApplication::sharedApplication(), app_);
    EXPECT_EQ(app_->displayIdentifier(), "com.apple.springboard");
    EXPECT_EQ(springboard::deviceRoot(), device_.root());
    auto* cls = dynamic_cast<SBApplicationControllerClass*>(objc_getClass("SBApplicationController"));
    ASSERT_NE(cls, nullptr);
    EXPECT_EQ(cls->sharedInstance(), services_->controller());
    EXPECT_EQ(frontIdentifier(), "home");

    services_.reset();
    EXPECT_EQ(UIApplication::sharedApplication(), nullptr);
    EXPECT_EQ(objc_getClass("SBApplicationController"), nullptr);
}

TEST_F(SpringBoardApplicationTest, OpenURLBringsTheDeclaringAppForwardAndHandsItTheURL) {
    const auto url = NSURL::URLWithString("clearapp://task/create?listName=Home&taskName=Milk");
    EXPECT_TRUE(app_->openURL(url));
    EXPECT_EQ(frontIdentifier(), "com.realmacsoftware.clear");
    EXPECT_EQ(events_->lines, (std::vector<std::string>{
                                  "openURL clearapp://task/create?listName=Home&taskName=Milk handled",
                                  "front com.realmacsoftware.clear",
                                  "com.realmacsoftware.clear got clearapp://task/create?listName=Home&taskName=Milk",
                              }));
}

TEST_F(SpringBoardApplicationTest, OpenURLWithNoAppForTheSchemeChangesNothing) {
    app_->setFrontMostApplication(services_->registry()->applicationWithIdentifier("com.apple.mobilesafari"));
    events_->lines.clear();
    EXPECT_FALSE(app_->openURL(NSURL::URLWithString("unknown://x")));
    EXPECT_FALSE(app_->openURL(NSURL::URLWithString("no-scheme")));
    EXPECT_FALSE(app_->openURL(nullptr));
    EXPECT_EQ(frontIdentifier(), "com.apple.mobilesafari");
    EXPECT_EQ(events_->lines, (std::vector<std::string>{"openURL unknown://x unhandled", "openURL no-scheme unhandled",
                                                        "openURL (null) unhandled"}));
}

TEST_F(SpringBoardApplicationTest, QuitShowsTheHomeScreen) {
    app_->setFrontMostApplication(services_->registry()->applicationWithIdentifier("com.apple.mobilesafari"));
    app_->quitTopApplication(nullptr);
    EXPECT_EQ(frontIdentifier(), "home");
    app_->quitTopApplication(nullptr);  // already home: no front change
    EXPECT_EQ(events_->lines,
              (std::vector<std::string>{"front com.apple.mobilesafari", "quit", "front home", "quit"}));
}

TEST_F(SpringBoardApplicationTest, LaunchBringsAnInstalledAppForwardUnlessSuspended) {
    EXPECT_TRUE(app_->launchApplicationWithIdentifier("com.realmacsoftware.clear", true));
    EXPECT_EQ(frontIdentifier(), "home");
    EXPECT_TRUE(app_->launchApplicationWithIdentifier("com.apple.mobilesafari", false));
    EXPECT_EQ(frontIdentifier(), "com.apple.mobilesafari");
    EXPECT_FALSE(app_->launchApplicationWithIdentifier("com.example.missing", false));
    EXPECT_FALSE(app_->launchApplicationWithIdentifier("COM.APPLE.MOBILESAFARI", false));
    EXPECT_EQ(frontIdentifier(), "com.apple.mobilesafari");
    EXPECT_EQ(events_->lines, (std::vector<std::string>{
                                  "launch com.realmacsoftware.clear suspended",
                                  "launch com.apple.mobilesafari",
                                  "front com.apple.mobilesafari",
                                  "launch com.example.missing",
                                  "launch COM.APPLE.MOBILESAFARI",
                              }));
}

// A fake overriding one call keeps the real behaviour of the rest.
class NoURLsSpringBoard : public SpringBoardApplication {
public:
    using SpringBoardApplication::SpringBoardApplication;
    bool openURL(const std::shared_ptr<NSURL>&) override { return false; }
};

TEST_F(SpringBoardApplicationTest, AFakeCanOverrideJustOneCall) {
    NoURLsSpringBoard fake(services_->registry(), nullptr);
    EXPECT_FALSE(fake.openURL(NSURL::URLWithString("clearapp://x")));
    EXPECT_TRUE(fake.launchApplicationWithIdentifier("com.realmacsoftware.clear", false));
    ASSERT_NE(fake._accessibilityFrontMostApplication(), nullptr);
    EXPECT_EQ(fake._accessibilityFrontMostApplication()->displayIdentifier(), "com.realmacsoftware.clear");
}

}  // namespace
