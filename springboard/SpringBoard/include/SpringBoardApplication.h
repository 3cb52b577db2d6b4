#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "ApplicationRegistry.h"
#include "SpringBoardEvents.h"
#include "UIApplication.h"

// SpringBoard's application object: it knows which app is in front, opens
// URLs in the app declaring their scheme, and switches apps. Thread-safe.
// The calls are virtual so a test fake can override one and keep the rest.
class HOST_API SpringBoardApplication : public UIApplication {
public:
    // `registry` nullptr: no apps installed. `events` nullptr: nobody listens.
    static std::shared_ptr<SpringBoardApplication> applicationWithRegistry(
        std::shared_ptr<ApplicationRegistry> registry, std::shared_ptr<SpringBoardEvents> events = nullptr);

    SpringBoardApplication(std::shared_ptr<ApplicationRegistry> registry, std::shared_ptr<SpringBoardEvents> events);

    // Always "com.apple.springboard".
    std::optional<std::string> displayIdentifier() const override;

    std::shared_ptr<SBApplication> _accessibilityFrontMostApplication() const override;

    // Looks up the installed app declaring the URL's scheme. When there is
    // one: reports openURL(url, true), brings that app to the front, hands it
    // the URL (applicationOpenedURL) and returns true. Otherwise reports
    // openURL(url, false) and changes nothing.
    bool openURL(const std::shared_ptr<NSURL>& url) override;

    // Reports the call; the home screen comes to the front.
    void quitTopApplication(std::nullptr_t unused) override;

    // Reports the call. For an installed app and `suspended` false, that app
    // comes to the front; launching suspended leaves the front alone.
    // Returns whether the app is installed.
    bool launchApplicationWithIdentifier(const std::string& identifier, bool suspended) override;

    // Puts `application` (nullptr: the home screen) in front, reporting
    // frontChanged when that changes which app is in front.
    void setFrontMostApplication(std::shared_ptr<InstalledApplication> application);
    std::shared_ptr<InstalledApplication> frontMostApplication() const;

    void setEvents(std::shared_ptr<SpringBoardEvents> events);
    const std::shared_ptr<ApplicationRegistry>& registry() const { return registry_; }

protected:
    std::shared_ptr<SpringBoardEvents> events() const;

private:
    std::shared_ptr<ApplicationRegistry> registry_;
    mutable std::mutex mutex_;
    std::shared_ptr<InstalledApplication> front_;
    std::shared_ptr<SpringBoardEvents> events_;
};
