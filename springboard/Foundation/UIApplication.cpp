#include "UIApplication.h"

#include "FoundationState.h"
#include "SBApplicationController.h"

UIApplication::~UIApplication() = default;
SBApplication::~SBApplication() = default;
SBApplicationController::~SBApplicationController() = default;

std::shared_ptr<UIApplication> UIApplication::sharedApplication() { return springboard::sharedApplication(); }
