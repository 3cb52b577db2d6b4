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
    // apps. Callers that hold this controller see the new registry.
    void setRegistry(std::shared_ptr<ApplicationRegistry> registry);
    std::shared_ptr<ApplicationRegistry> registry() const;

private:
    mutable std::mutex mutex_;
    std::shared_ptr<ApplicationRegistry> registry_;
    std::shared_ptr<const LookupListener> listener_;
};

// The class object SpringBoard registers under "SBApplicationController".
// Readers keep the class pointer they looked up for the rest of the process,
// so SpringBoard registers the one object shared() returns, which is never
// destroyed; booting SpringBoard again only changes its instance. Objects
// made with the constructor (tests) must outlive every lookup of them.
class HOST_API ApplicationControllerClass final : public SBApplicationControllerClass {
public:
    explicit ApplicationControllerClass(std::shared_ptr<SBApplicationController> instance = nullptr)
        : instance_(std::move(instance)) {}

    // The process's one SpringBoard class object. Not registered by itself.
    static ApplicationControllerClass& shared();

    // Thread-safe: lookups run on IPC threads as well as the main thread.
    std::shared_ptr<SBApplicationController> sharedInstance() const override;
    void setSharedInstance(std::shared_ptr<SBApplicationController> instance);
    // Clears the instance only while it is still `instance`; returns whether it was.
    bool clearSharedInstance(const SBApplicationController* instance);

private:
    mutable std::mutex mutex_;
    std::shared_ptr<SBApplicationController> instance_;
};
