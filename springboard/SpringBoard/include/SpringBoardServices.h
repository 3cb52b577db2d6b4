#pragma once

#include <memory>
#include <string>

#include "ApplicationController.h"
#include "ApplicationRegistry.h"
#include "SpringBoardApplication.h"
#include "SpringBoardEvents.h"

// SpringBoard's services in this process, booted on a device directory:
// the registry scanned from the device, the SBApplicationController class
// registered by name, and the application object set as the shared
// application. What a SpringBoard process (the simulator, a test) does at
// boot; other processes never do it, so their class lookup misses.
class HOST_API SpringBoardServices {
public:
    // Sets the device root (and so the home directory) to `deviceRoot`,
    // scans it, registers "SBApplicationController" and sets the shared
    // application. `events` receives the application object's events.
    static std::unique_ptr<SpringBoardServices> boot(const std::string& deviceRoot,
                                                     std::shared_ptr<SpringBoardEvents> events = nullptr);

    SpringBoardServices(std::shared_ptr<ApplicationRegistry> registry, std::shared_ptr<SpringBoardEvents> events);
    // Takes its controller out of the class object (which stays, for the
    // readers that keep it), unregisters the class and clears the shared
    // application.
    ~SpringBoardServices();
    SpringBoardServices(const SpringBoardServices&) = delete;
    SpringBoardServices& operator=(const SpringBoardServices&) = delete;

    const std::shared_ptr<ApplicationRegistry>& registry() const { return registry_; }
    const std::shared_ptr<ApplicationController>& controller() const { return controller_; }
    const std::shared_ptr<SpringBoardApplication>& application() const { return application_; }

private:
    std::shared_ptr<ApplicationRegistry> registry_;
    std::shared_ptr<ApplicationController> controller_;
    std::shared_ptr<SpringBoardApplication> application_;
};
