#include "ApplicationController.h"

ApplicationController::ApplicationController(std::shared_ptr<ApplicationRegistry> registry)
    : registry_(registry ? std::move(registry) : ApplicationRegistry::registryWithApplications({})) {}

void ApplicationController::setRegistry(std::shared_ptr<ApplicationRegistry> registry) {
    if (!registry) registry = ApplicationRegistry::registryWithApplications({});
    std::lock_guard lock(mutex_);
    registry_ = std::move(registry);
}

std::shared_ptr<ApplicationRegistry> ApplicationController::registry() const {
    std::lock_guard lock(mutex_);
    return registry_;
}

void ApplicationController::setLookupListener(LookupListener listener) {
    auto shared = listener ? std::make_shared<const LookupListener>(std::move(listener)) : nullptr;
    std::lock_guard lock(mutex_);
    listener_ = std::move(shared);
}

std::shared_ptr<SBApplication> ApplicationController::applicationWithDisplayIdentifier(const std::string& identifier) {
    std::shared_ptr<ApplicationRegistry> registry;
    std::shared_ptr<const LookupListener> listener;
    {
        std::lock_guard lock(mutex_);
        registry = registry_;
        listener = listener_;
    }
    auto application = registry->applicationWithIdentifier(identifier);
    if (listener) (*listener)(identifier, application != nullptr);
    return application;
}

ApplicationControllerClass& ApplicationControllerClass::shared() {
    // Leaked on purpose: readers in loaded libraries may look through it
    // while the process exits.
    static auto* const cls = new ApplicationControllerClass();
    return *cls;
}

std::shared_ptr<SBApplicationController> ApplicationControllerClass::sharedInstance() const {
    std::lock_guard lock(mutex_);
    return instance_;
}

void ApplicationControllerClass::setSharedInstance(std::shared_ptr<SBApplicationController> instance) {
    std::lock_guard lock(mutex_);
    instance_ = std::move(instance);
}

bool ApplicationControllerClass::clearSharedInstance(const SBApplicationController* instance) {
    std::lock_guard lock(mutex_);
    if (instance_.get() != instance) return false;
    instance_.reset();
    return true;
}
