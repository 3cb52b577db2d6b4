#pragma once

// A SpringBoard for the widget tests: a device directory with Clear (or not),
// a fake application registry and application object, and the host stand-in
// with the real Velmora.widget loaded. Every outside effect the plug-in has
// (host calls, log lines, opened URLs, posted notifications) lands in one
// ordered event list, so tests can check the order of a hand-off.

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "MainQueue.h"
#include "LogCapture.h"
#include "NotificationPostListener.h"
#include "PWContentItemViewControllerHost.h"
#include "PWHost.h"
#include "PWWidgetHost.h"
#include "PWWidgetItemHost.h"
#include "PWWidgetItemListValue.h"
#include "Platform.h"
#include "SBApplicationController.h"
#include "BuildPaths.h"
#include "FakeApplicationRegistry.h"
#include "TestDevice.h"
#include "UIApplication.h"

// Values print as their description in failure messages.
inline void PrintTo(const Value& value, std::ostream* os) { *os << value.description(); }

namespace widgettest {

inline const long kSentinel = std::numeric_limits<long>::max();
inline const std::string kClear = "com.realmacsoftware.clear";
inline const std::string kClearPlus = "com.realmacsoftware.clear.universal";

using fakes::FakeApplication;
using fakes::FakeRegistry;
using fakes::FakeRegistryClass;

// The application object: answers the front-most app and records openURL.
class FakeUIApplication : public UIApplication {
public:
    explicit FakeUIApplication(std::vector<std::string>& events) : events_(events) {}
    std::optional<std::string> displayIdentifier() const override { return "com.apple.springboard"; }
    std::shared_ptr<SBApplication> _accessibilityFrontMostApplication() const override { return front; }
    bool openURL(const std::shared_ptr<NSURL>& url) override {
        openedURLs.push_back(url ? std::optional<std::string>(url->absoluteString()) : std::nullopt);
        events_.push_back("openURL " + (url ? url->absoluteString() : std::string("(null)")));
        return handlesURLs && url;
    }
    void quitTopApplication(std::nullptr_t) override {}
    bool launchApplicationWithIdentifier(const std::string&, bool) override { return false; }

    std::shared_ptr<SBApplication> front;
    bool handlesURLs = true;
    std::vector<std::optional<std::string>> openedURLs;

private:
    std::vector<std::string>& events_;
};

struct Post {
    std::string name;
    std::optional<Dictionary> userInfo;
};

class WidgetTest : public ::testing::Test {
protected:
    // Tests may TearDown and SetUp again to run a table of cases on a fresh
    // device and host state.
    void SetUp() override {
        events.clear();
        posts.clear();
        device = std::make_unique<TestDevice>();
        springboard::setDeviceRoot(device->root());
        springboard::setLogToStandardError(false);
        registry = std::make_shared<FakeRegistry>();
        FakeRegistryClass::instance().registry = registry;
        objc_registerClass(&FakeRegistryClass::instance());
        application = std::make_shared<FakeUIApplication>(events);
        springboard::setSharedApplication(application);
        log.emplace([this](const std::string& line) { events.push_back("log " + line); });
        postListener = springboard::addNotificationPostListener(
            [this](const std::string& name, const std::optional<Dictionary>& userInfo) {
                posts.push_back({name, userInfo});
                events.push_back("post " + name);
            });
        callListener = host.calls()->addListener([this](const PWCallRecord& r) { events.push_back("call " + r.name); });

        const std::string buildDir = buildDirectory();
        ASSERT_FALSE(buildDir.empty()) << "VELMORA_BUILD_DIR is not set";
        const auto loaded = host.loadBundle(buildDir + "/Velmora.widget");
        ASSERT_TRUE(loaded.ok()) << loaded.error();
    }

    void TearDown() override {
        host.closeWidget();
        host.calls()->removeListener(callListener);
        host.calls()->clear();
        springboard::drainMainQueue();
        postListener.reset();
        log.reset();
        springboard::setSharedApplication(nullptr);
        objc_unregisterClass(&FakeRegistryClass::instance());
    }

    // Installs Clear (or Clear+) with `lists`; makes its registry record.
    std::string installClear(const std::vector<std::string>& lists, const std::string& identifier = kClear) {
        const std::string bundle = device->installClear(lists, identifier);
        registry->install(identifier, bundle);
        return bundle;
    }

    // Writes Clear's preferences beside `bundle` with that theme.
    static void setTheme(const std::string& bundle, const std::string& theme) {
        const auto container = std::filesystem::path(bundle).parent_path();
        writeFile(container / "Library/Preferences/com.realmacsoftware.clear.plist",
                  plist("<dict><key>ThemeIdentifier</key><string>" + theme + "</string></dict>"));
    }

    void setDefaultList(const std::string& name) {
        writeFile(device->path("var/mobile/Library/Preferences/com.kelbrin.velmora.plist"),
                  plist("<dict><key>defaultList</key><string>" + name + "</string></dict>"));
    }

    static std::string plist(const std::string& body) {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">" + body + "</plist>\n";
    }

    void bringToFront(std::optional<std::string> identifier) {
        application->front = std::make_shared<FakeApplication>(std::nullopt, std::move(identifier));
    }

    void open() {
        const auto opened = host.openWidget();
        ASSERT_TRUE(opened.ok()) << opened.error();
    }

    // The records named `name`, in order.
    std::vector<PWCallRecord> calls(const std::string& name) const {
        std::vector<PWCallRecord> found;
        for (const auto& r : host.calls()->records())
            if (r.name == name) found.push_back(r);
        return found;
    }

    std::shared_ptr<PWWidgetItemListValue> listItem() const {
        return std::dynamic_pointer_cast<PWWidgetItemListValue>(host.page()->host().item("list"));
    }

    // The position of the first event starting with `prefix`, or -1.
    long indexOf(const std::string& prefix) const {
        for (std::size_t i = 0; i < events.size(); ++i)
            if (events[i].rfind(prefix, 0) == 0) return static_cast<long>(i);
        return -1;
    }

    std::unique_ptr<TestDevice> device;
    std::shared_ptr<FakeRegistry> registry;
    std::shared_ptr<FakeUIApplication> application;
    PWHost host;
    std::vector<std::string> events;
    std::optional<LogCapture> log;
    std::vector<Post> posts;

private:
    springboard::Registration postListener;
    std::size_t callListener = 0;
};

}  // namespace widgettest
