#pragma once

namespace sim {

// When the prompt and the demo colour their output: "auto" on a terminal
// unless NO_COLOR is set to a non-empty value or TERM is "dumb".
enum class ColourMode { Auto, Always, Never };

// Whether output gets ANSI colour under `mode`, given whether standard output
// is a terminal and the values of NO_COLOR and TERM (nullptr when unset).
bool useColour(ColourMode mode, bool outputIsTerminal, const char* noColor, const char* term);

}  // namespace sim
