#pragma once

#include <string>

#include "ColourMode.h"

namespace sim {

struct RunOptions {
    std::string device;   // empty: a fresh sample device in a temporary directory
    std::string script;   // empty or "-": standard input (a terminal gets the prompt)
    std::string trace;
    bool traceGiven = false;
    bool demo = false;
    bool bail = false;  // the first refused or failing line ends the run with exit 1
    ColourMode colour = ColourMode::Auto;
};

// `run`: boots SpringBoard on the device and runs the script, the prompt or
// the demo. Should standard output close under it (`run --demo | head`), the
// run ends in order, its sample device removed, and the process then ends
// by SIGPIPE as any filter in a pipe would.
int runSimulator(const RunOptions& options);

}  // namespace sim
