#include "SpringBoardApplication.h"

namespace {
const std::shared_ptr<SpringBoardEvents> kNoEvents = std::make_shared<SpringBoardEvents>();
}

std::shared_ptr<SpringBoardApplication> SpringBoardApplication::applicationWithRegistry(
    std::shared_ptr<ApplicationRegistry> registry, std::shared_ptr<SpringBoardEvents> events) {
    return std::make_shared<SpringBoardApplication>(std::move(registry), std::move(events));
}

SpringBoardApplication::SpringBoardApplication(std::shared_ptr<ApplicationRegistry> registry,
                                               std::shared_ptr<SpringBoardEvents> events)
    : registry_(registry ? std::move(registry) : ApplicationRegistry::registryWithApplications({})),
      events_(std::move(events)) {}

std::optional<std::string> SpringBoardApplication::displayIdentifier() const { return "com.apple.springboard"; }

std::shared_ptr<SBApplication> SpringBoardApplication::_accessibilityFrontMostApplication() const {
    return frontMostApplication();
}

bool SpringBoardApplication::openURL(const std::shared_ptr<NSURL>& url) {
    auto application = url ? registry_->applicationForURLScheme(url->scheme()) : nullptr;
    events()->openURL(url, application != nullptr);
    if (!application) return false;
    setFrontMostApplication(application);
    events()->applicationOpenedURL(application, url);
    return true;
}

void SpringBoardApplication::quitTopApplication(std::nullptr_t) {
    events()->quitTopApplication();
    setFrontMostApplication(nullptr);
}

bool SpringBoardApplication::launchApplicationWithIdentifier(const std::string& identifier, bool suspended) {
    events()->launchApplication(identifier, suspended);
    auto application = registry_->applicationWithIdentifier(identifier);
    if (application && !suspended) setFrontMostApplication(application);
    return application != nullptr;
}

void SpringBoardApplication::setFrontMostApplication(std::shared_ptr<InstalledApplication> application) {
    {
        std::lock_guard lock(mutex_);
        if (front_ == application) return;
        front_ = application;
    }
    events()->frontChanged(application);
}

std::shared_ptr<InstalledApplication> SpringBoardApplication::frontMostApplication() const {
    std::lock_guard lock(mutex_);
    return front_;
}

void SpringBoardApplication::setEvents(std::shared_ptr<SpringBoardEvents> events) {
    std::lock_guard lock(mutex_);
    events_ = std::move(events);
}

std::shared_ptr<SpringBoardEvents> SpringBoardApplication::events() const {
    std::lock_guard lock(mutex_);
    return events_ ? events_ : kNoEvents;
}
