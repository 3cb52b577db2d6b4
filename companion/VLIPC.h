#pragma once

// The companion service's entry points.
//
//   VLIPCInitialize  Required. Sets the service up in SpringBoard: answers
//                    "VLIPC.Lists" and observes "VLIPC.Kill" for the life of
//                    the process. The library's load-time constructor calls
//                    it once; call it yourself only in a process that did not
//                    load the library through the loader (each call registers
//                    the observer again).

#include "VLIPCExport.h"

extern "C" VLIPC_EXPORT void VLIPCInitialize(void);
