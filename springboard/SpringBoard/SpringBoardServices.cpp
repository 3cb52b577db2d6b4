#include "SpringBoardServices.h"

#include "Platform.h"

std::unique_ptr<SpringBoardServices> SpringBoardServices::boot(const std::string& deviceRoot,
                                                               std::shared_ptr<SpringBoardEvents> events) {
    springboard::setDeviceRoot(deviceRoot);
    return std::make_unique<SpringBoardServices>(ApplicationRegistry::scan(deviceRoot), std::move(events));
}

SpringBoardServices::SpringBoardServices(std::shared_ptr<ApplicationRegistry> registry,
                                         std::shared_ptr<SpringBoardEvents> events)
    : registry_(registry ? std::move(registry) : ApplicationRegistry::registryWithApplications({})),
      controller_(std::make_shared<ApplicationController>(registry_)),
      application_(SpringBoardApplication::applicationWithRegistry(registry_, std::move(events))) {
    ApplicationControllerClass& cls = ApplicationControllerClass::shared();
    cls.setSharedInstance(controller_);
    objc_registerClass(&cls);
    springboard::setSharedApplication(application_);
}

SpringBoardServices::~SpringBoardServices() {
    springboard::setSharedApplication(nullptr);
    // Only while no later boot has taken the class over.
    ApplicationControllerClass& cls = ApplicationControllerClass::shared();
    if (cls.clearSharedInstance(controller_.get())) objc_unregisterClass(&cls);
}
