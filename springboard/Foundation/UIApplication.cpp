#include "UIApplication.h"

#include <mutex>

#include "Platform.h"
#include "SBApplicationController.h"

namespace {

std::mutex applicationMutex;
std::shared_ptr<UIApplication>& sharedApplicationSlot() {
    static std::shared_ptr<UIApplication> application;
    return application;
}

}  // namespace

UIApplication::~UIApplication() = default;
SBApplication::~SBApplication() = default;
SBApplicationController::~SBApplicationController() = default;

std::shared_ptr<UIApplication> UIApplication::sharedApplication() {
    std::lock_guard lock(applicationMutex);
    return sharedApplicationSlot();
}

namespace springboard {

void setSharedApplication(std::shared_ptr<UIApplication> application) {
    std::lock_guard lock(applicationMutex);
    sharedApplicationSlot() = std::move(application);
}

}  // namespace springboard
