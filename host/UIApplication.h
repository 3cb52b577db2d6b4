#pragma once

#include <memory>
#include <optional>
#include <string>

#include "HostExport.h"
#include "NSURL.h"
#include "SBApplication.h"

// The process's application object. In SpringBoard it is SpringBoard itself
// and answers SpringBoard's private calls as well.
class HOST_API UIApplication {
public:
    virtual ~UIApplication();

    // +sharedApplication: the process's application object, or nullptr before
    // the process has set one up.
    static std::shared_ptr<UIApplication> sharedApplication();

    // The bundle identifier of the process's own application.
    virtual std::optional<std::string> displayIdentifier() const = 0;

    // The record of the app in front, or nullptr when the home screen is.
    virtual std::shared_ptr<SBApplication> _accessibilityFrontMostApplication() const = 0;

    // Hands `url` to the system, which opens the app registered for its
    // scheme. Returns whether an app took it. A nullptr URL opens nothing.
    virtual bool openURL(const std::shared_ptr<NSURL>& url) = 0;

    // Closes the app in front and shows the home screen. `unused` is always
    // nil on the callers' side.
    virtual void quitTopApplication(std::nullptr_t unused) = 0;

    // Brings the named app to the front (suspended NO) or launches it in the
    // background (suspended YES). Returns whether such an app is installed.
    virtual bool launchApplicationWithIdentifier(const std::string& identifier, bool suspended) = 0;
};
