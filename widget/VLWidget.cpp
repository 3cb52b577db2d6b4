#include "VLWidget.h"

#include <atomic>
#include <optional>
#include <string>

#include "ObjCRuntime.h"
#include "SBApplicationController.h"
#include "VLDynamicReader.h"
#include "VLViewController.h"

namespace {

// The widget's own controller class slot. Filled on the first lookup that
// finds the class and never cleared; every writer stores the same class, so
// two first uses racing each other are harmless.
std::atomic<const SBApplicationControllerClass*> controllerClassSlot{nullptr};

const SBApplicationControllerClass* controllerClass() {
    if (const auto* cls = controllerClassSlot.load()) return cls;
    const auto* cls = dynamic_cast<const SBApplicationControllerClass*>(objc_getClass("SBApplicationController"));
    if (cls) controllerClassSlot.store(cls);
    return cls;
}

}  // namespace

void VLWidget::setupAppIfNeeded() {
    if (_clearApp) return;
    const auto* cls = controllerClass();
    const auto registry = cls ? cls->sharedInstance() : nullptr;
    std::shared_ptr<SBApplication> clear, clearPlus;
    if (registry) {
        // Both are always asked; Clear wins when both are installed.
        clear = registry->applicationWithDisplayIdentifier("com.realmacsoftware.clear");
        clearPlus = registry->applicationWithDisplayIdentifier("com.realmacsoftware.clear.universal");
    }
    _clearApp = clear ? clear : clearPlus;
    if (!_clearApp) {
        showMessage("You need to install Clear or Clear+ from App Store to use this widget.");
        dismiss();
    }
}

void VLWidget::configure() {
    setupAppIfNeeded();
    setTitle("Clear");
    const std::optional<std::string> path = _clearApp ? _clearApp->path() : std::nullopt;
    const ThemeComponents theme = VLDynamicReader::initWithPath(path)->themeFromSettings();
    if (const auto it = theme.find("preferredTintColor"); it != theme.end()) setPreferredTintColor(it->second);
    if (const auto it = theme.find("preferredBarTextColor"); it != theme.end()) setPreferredBarTextColor(it->second);
}

void VLWidget::load() {
    setupAppIfNeeded();
    _viewController = VLViewController::initForWidget(shared_from_this());
    pushViewController(_viewController, false);
}

bool VLWidget::requiresProtectedDataAccess() const { return true; }
