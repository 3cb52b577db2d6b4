// velmora-startup-floor: the least a simulator run must do before its first
// script line, the floor `velmora-sim run --device DIR` is compared with:
// boot SpringBoard's services on the device, load the companion as the
// loader does, load the widget bundle as the host does. Nothing less loads
// both deliverables; a five-line script adds almost nothing to it.
//
//     velmora-startup-floor DEVICE
//     perf stat -r 30 -e task-clock velmora-startup-floor DEVICE

#include <dlfcn.h>

#include "PWHost.h"
#include "Platform.h"
#include "SpringBoardServices.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    springboard::setLogToStandardError(false);
    const auto services = SpringBoardServices::boot(argv[1]);
    const bool companion = dlopen(VELMORA_COMPANION_LIBRARY, RTLD_NOW | RTLD_LOCAL) != nullptr;
    PWHost host;
    const bool widget = host.loadBundle(VELMORA_WIDGET_BUNDLE).ok();
    return services && companion && widget ? 0 : 1;
}
