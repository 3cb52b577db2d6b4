#pragma once

// The interactive prompt of `run` on a terminal: GNU readline with history
// and tab-completion (script words, list titles, app identifiers), the script
// language one line at a time, and the widget sheet drawn after each step.
// A line that cannot be parsed is reported and the prompt continues.
// Besides the script words it knows `help` and `quit` (or Ctrl-D, Ctrl-C).

#include <atomic>
#include <iosfwd>
#include <string>
#include <vector>

#include "SheetRenderer.h"
#include "SpringBoardSession.h"

namespace sim {

class InteractiveConsole {
public:
    // `out` is the terminal; `colour` whether it takes ANSI colour.
    InteractiveConsole(SpringBoardSession& session, Trace& trace, std::ostream& out, bool colour);

    // Runs until quit, end of input, or `stop` (set from a signal handler,
    // e.g. Ctrl-C) becomes true.
    void run(const std::atomic<bool>& stop);

    // Plays script `lines` as if typed at the prompt: each command is echoed
    // after the prompt and carried out, and the sheet is drawn after it;
    // comment lines are shown as captions. Stops early when `stop` becomes
    // true.
    void play(const std::vector<std::string>& lines, const std::atomic<bool>& stop);

private:
    void refresh();
    void showHelp();

    SpringBoardSession& session_;
    std::ostream& out_;
    bool colour_;
    SheetState sheet_;
};

}  // namespace sim
