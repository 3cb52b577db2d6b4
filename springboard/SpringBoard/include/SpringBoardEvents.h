#pragma once

#include <memory>
#include <string>

#include "HostExport.h"
#include "InstalledApplication.h"
#include "NSURL.h"

// What SpringBoardApplication tells the world. Every method does nothing by
// default, so a listener (the simulator's trace, a test) overrides only what
// it needs. Calls come on the thread that called the application object,
// after its state has changed, never under one of its locks.
class HOST_API SpringBoardEvents {
public:
    virtual ~SpringBoardEvents();

    // openURL was asked for `url` (nullptr when the caller had no URL);
    // `handled` is whether an installed app declares its scheme.
    virtual void openURL(const std::shared_ptr<NSURL>& url, bool handled);
    // The app that declares the URL's scheme receives the URL; it is already
    // in front. The simulator plays that app here.
    virtual void applicationOpenedURL(const std::shared_ptr<InstalledApplication>& application,
                                      const std::shared_ptr<NSURL>& url);
    virtual void quitTopApplication();
    virtual void launchApplication(const std::string& identifier, bool suspended);
    // The app in front changed; nullptr is the home screen.
    virtual void frontChanged(const std::shared_ptr<InstalledApplication>& front);
};
