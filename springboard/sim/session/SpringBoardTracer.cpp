#include "SpringBoardTracer.h"

#include "DeviceBuilder.h"

namespace sim {

void SpringBoardTracer::openURL(const std::shared_ptr<NSURL>& url, bool handled) {
    trace_.emit("openURL", Json{{"url", url ? Json(url->absoluteString()) : Json(nullptr)}, {"handled", handled}});
}

void SpringBoardTracer::applicationOpenedURL(const std::shared_ptr<InstalledApplication>& application,
                                             const std::shared_ptr<NSURL>& url) {
    if (!application || !url) return;
    auto clear = clearApps_.find(application->identifier());
    if (clear == clearApps_.end()) return;  // other apps take their URLs silently
    ClearOutcome outcome = clear->second.openURL(url->absoluteString());
    auto optional = [](const std::optional<std::string>& s) { return s ? Json(*s) : Json(nullptr); };
    trace_.emit("clear", Json{{"action", outcome.action},
                              {"list", optional(outcome.list)},
                              {"task", optional(outcome.task)},
                              {"result", outcome.result},
                              {"app", application->identifier()}});
}

void SpringBoardTracer::quitTopApplication() { trace_.emit("quitTopApplication"); }

void SpringBoardTracer::launchApplication(const std::string& identifier, bool suspended) {
    trace_.emit("launchApplication", Json{{"identifier", identifier}, {"suspended", suspended}});
}

void SpringBoardTracer::frontChanged(const std::shared_ptr<InstalledApplication>& front) {
    trace_.emit("front", Json{{"identifier", front ? front->identifier() : std::string(kSpringBoardIdentifier)}});
}

}  // namespace sim
