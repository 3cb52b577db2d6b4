#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "ApplicationRegistry.h"
#include "SBApplicationController.h"

// SBApplicationController over a registry, reporting every lookup.
class HOST_API ApplicationController final : public SBApplicationController {
public:
    explicit ApplicationController(std::shared_ptr<ApplicationRegistry> registry);

    // Called on the looking-up thread (the main thread, or an IPC thread for
    // a reader made by a message handler) after each
    // applicationWithDisplayIdentifier, with the identifier asked for and
    // whether an app was found.
    using LookupListener = std::function<void(const std::string& identifier, bool found)>;
    void setLookupListener(LookupListener listener);

    std::shared_ptr<SBApplication> applicationWithDisplayIdentifier(const std::string& identifier) override;

    // Swaps in another registry (a rescan after apps were installed or
    // removed). Lookups already running finish on the old one. nullptr: no
    // apps. The class object keeps its identity, so readers that cached it
    // stay valid.
    void setRegistry(std::shared_ptr<ApplicationRegistry> registry);
    std::shared_ptr<ApplicationRegistry> registry() const;

private:
    mutable std::mutex mutex_;
    std::shared_ptr<ApplicationRegistry> registry_;
    std::shared_ptr<const LookupListener> listener_;
};

// The class object SpringBoard registers under "SBApplicationController":
//     ApplicationControllerClass cls(controller);
//     objc_registerClass(&cls);   // ... objc_unregisterClass(&cls) before cls dies
class HOST_API ApplicationControllerClass final : public SBApplicationControllerClass {
public:
    explicit ApplicationControllerClass(std::shared_ptr<SBApplicationController> instance)
        : instance_(std::move(instance)) {}
    std::shared_ptr<SBApplicationController> sharedInstance() const override { return instance_; }

private:
    std::shared_ptr<SBApplicationController> instance_;
};
