#include "VLKillObserver.h"

#include "NSLog.h"
#include "UIApplication.h"

void VLKillObserver(const NSNotification& notification) {
    Value identifier;
    if (notification.userInfo) {
        const auto entry = notification.userInfo->find("identifier");
        if (entry != notification.userInfo->end()) identifier = entry->second;
    }
    // The widget always sends a string; anything else has no app to go back to.
    const auto name = identifier.stringValue();
    if (!name) {
        NSLog("[Velmora]Ignoring VLIPC.Kill without a string identifier: %@", {identifier});
        return;
    }

    NSLog("[Velmora]Fire ze missles! %@", {identifier});
    const auto application = UIApplication::sharedApplication();
    if (*name == "com.apple.springboard") {
        if (application) application->quitTopApplication(nullptr);
    } else {
        NSLog("[Velmora]Go back home...");
        if (application) application->launchApplicationWithIdentifier(*name, false);
    }
    NSLog("[Velmora]Done chaining!");
}
