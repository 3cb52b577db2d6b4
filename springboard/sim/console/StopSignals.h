#pragma once

// SIGINT, SIGTERM and SIGHUP ask for an orderly stop, so a session shuts down
// and a sample device is removed; blocking reads are interrupted. The
// interactive prompt takes SIGINT for itself (it cancels the line there).

#include <atomic>

namespace sim {

// Set by SIGTERM and SIGHUP, and by SIGINT unless the prompt claimed it.
extern std::atomic<bool> stopRequested;
// Set by SIGINT while the prompt claims it.
extern std::atomic<bool> interruptRequested;

// Installs the handlers (without SA_RESTART, so reads return EINTR) and
// ignores SIGPIPE: a closed output becomes a write error the run notices.
void stopOnSignals();

// While true, SIGINT sets interruptRequested instead of stopRequested.
void claimInterrupts(bool claim);

}  // namespace sim
