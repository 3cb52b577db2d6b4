#include "SpringBoardEvents.h"

SpringBoardEvents::~SpringBoardEvents() = default;
void SpringBoardEvents::openURL(const std::shared_ptr<NSURL>&, bool) {}
void SpringBoardEvents::applicationOpenedURL(const std::shared_ptr<InstalledApplication>&,
                                             const std::shared_ptr<NSURL>&) {}
void SpringBoardEvents::quitTopApplication() {}
void SpringBoardEvents::launchApplication(const std::string&, bool) {}
void SpringBoardEvents::frontChanged(const std::shared_ptr<InstalledApplication>&) {}
