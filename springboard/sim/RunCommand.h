#pragma once

#include <string>

namespace sim {

// When the prompt and the demo colour their output: "auto" on a terminal
// unless NO_COLOR is set to a non-empty value.
enum class ColourMode { Auto, Always, Never };

struct RunOptions {
    std::string device;   // empty: a fresh sample device in a temporary directory
    std::string script;   // empty or "-": standard input (a terminal gets the prompt)
    std::string trace;
    bool traceGiven = false;
    bool demo = false;
    ColourMode colour = ColourMode::Auto;
};

// Whether output gets ANSI colour under `mode`, given whether standard output
// is a terminal and the value of NO_COLOR (nullptr when unset).
bool useColour(ColourMode mode, bool outputIsTerminal, const char* noColor);

// `run`: boots SpringBoard on the device and runs the script, the prompt or
// the demo. Should standard output close under it (`run --demo | head`), the
// run ends in order, its sample device removed, and the process then ends
// by SIGPIPE as any filter in a pipe would.
int runSimulator(const RunOptions& options);

}  // namespace sim
