#pragma once

#include "NSDistributedNotificationCenter.h"

// Handles "VLIPC.Kill": takes the user back to where the hand-off began.
// "com.apple.springboard" (exactly) quits the app in front, showing the
// home screen; any other identifier is launched to the front. A
// notification without a string "identifier" is logged and ignored.
// Runs on the main queue.
void VLKillObserver(const NSNotification& notification);
