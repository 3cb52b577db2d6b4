#include "StopSignals.h"

#include <csignal>

namespace sim {

std::atomic<bool> stopRequested{false};
std::atomic<bool> interruptRequested{false};

namespace {

std::atomic<bool> interruptsClaimed{false};

extern "C" void onStopSignal(int signal) {
    if (signal == SIGINT && interruptsClaimed) interruptRequested = true;
    else stopRequested = true;
}

}  // namespace

void stopOnSignals() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
}

void claimInterrupts(bool claim) { interruptsClaimed = claim; }

}  // namespace sim
