#pragma once

// Listens to SpringBoard's application object: writes each of its events to
// the trace and plays the simulated Clear app when a URL reaches Clear.

#include <map>
#include <memory>
#include <string>

#include "ClearApp.h"
#include "SpringBoardEvents.h"
#include "Trace.h"

namespace sim {

class SpringBoardTracer final : public SpringBoardEvents {
public:
    explicit SpringBoardTracer(Trace& trace) : trace_(trace) {}

    // Plays Clear for the app with that identifier (Clear or Clear+).
    void addClearApp(const ClearApp& app) { clearApps_.emplace(app.identifier(), app); }

    void openURL(const std::shared_ptr<NSURL>& url, bool handled) override;
    void applicationOpenedURL(const std::shared_ptr<InstalledApplication>& application,
                              const std::shared_ptr<NSURL>& url) override;
    void quitTopApplication() override;
    void launchApplication(const std::string& identifier, bool suspended) override;
    void frontChanged(const std::shared_ptr<InstalledApplication>& front) override;

private:
    Trace& trace_;
    std::map<std::string, ClearApp> clearApps_;
};

}  // namespace sim
