#include "ServeCommand.h"

#include <chrono>
#include <iostream>

#include "ExitStatus.h"
#include "MainQueue.h"
#include "SpringBoardSession.h"
#include "StopSignals.h"
#include "Trace.h"
#include "TraceTarget.h"

namespace sim {

int serveDevice(const std::string& device, const std::string& traceTo) {
    std::string error;
    TraceTarget traceTarget;
    if (!traceTarget.open(traceTo, &error)) return usageError(error);
    Trace trace(traceTarget.stream);

    stopOnSignals();
    auto session = SpringBoardSession::boot(device, trace, &error);
    if (!session) return failure(error);
    std::cerr << "velmora-sim: SpringBoard is running on " << session->device() << " (Ctrl-C stops it)\n";
    while (!stopRequested)
        if (springboard::waitForMainQueueWork(std::chrono::milliseconds(100))) session->drain();
    if (auto problem = session->saveState()) return failure(*problem);
    return 0;
}

}  // namespace sim
