#pragma once

#include <memory>
#include <string>

#include "HostExport.h"
#include "ObjCRuntime.h"
#include "SBApplication.h"

// SpringBoard's application registry. Never linked against: callers find the
// class with objc_getClass("SBApplicationController"), which misses in any
// process other than SpringBoard.
class HOST_API SBApplicationController {
public:
    virtual ~SBApplicationController();
    // The record of the installed app with that bundle identifier, or nullptr
    // when no such app is installed.
    virtual std::shared_ptr<SBApplication> applicationWithDisplayIdentifier(const std::string& identifier) = 0;
};

// The class object registered under "SBApplicationController".
class HOST_API SBApplicationControllerClass : public ObjCClass {
public:
    SBApplicationControllerClass() : ObjCClass("SBApplicationController") {}
    // +sharedInstance: the registry (may be nullptr).
    virtual std::shared_ptr<SBApplicationController> sharedInstance() const = 0;
};
