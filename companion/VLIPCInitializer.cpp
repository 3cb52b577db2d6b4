#include "NSDistributedNotificationCenter.h"
#include "NSLog.h"
#include "NSOperationQueue.h"
#include "OBJCIPC.h"
#include "UIApplication.h"
#include "VLIPC.h"
#include "VLKillObserver.h"
#include "VLListsMessageHandler.h"

void VLIPCInitialize(void) {
    const auto application = UIApplication::sharedApplication();
    NSLog("[Velmora]Registering IPC listener for %@ messages...",
          {application ? Value(application->displayIdentifier()) : Value()});

    OBJCIPC::registerIncomingMessageFromAppHandlerForMessageName("VLIPC.Lists", VLListsMessageHandler);

    // The token is dropped on purpose: the observation lasts for the life of
    // SpringBoard.
    NSDistributedNotificationCenter::defaultCenter()->addObserverForName(
        "VLIPC.Kill", Value(), NSOperationQueue::mainQueue(), VLKillObserver);
}

// The loader runs this when it loads the library.
__attribute__((constructor)) static void VLIPCLoad(void) { VLIPCInitialize(); }
