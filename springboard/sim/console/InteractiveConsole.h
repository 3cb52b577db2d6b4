#pragma once

// The interactive prompt of `run` on a terminal: GNU readline with history
// kept between sessions and tab-completion (script words, list titles, app
// identifiers) that quotes exactly as the script parser reads, the script
// language one line at a time, and the widget sheet drawn whenever it
// changes. A line that cannot be parsed is reported and the prompt goes on;
// Ctrl-C cancels the line being typed. Besides the script words it knows
// `help [COMMAND]`, `quit` and `exit` (or Ctrl-D).

#include <atomic>
#include <iosfwd>
#include <mutex>
#include <string>
#include <vector>

#include "SheetRenderer.h"
#include "SpringBoardSession.h"

namespace sim {

class InteractiveConsole {
public:
    // `out` is the terminal (or what stands for it); `colour` whether it
    // takes ANSI colour. The sheet is as wide as the terminal allows.
    InteractiveConsole(SpringBoardSession& session, Trace& trace, std::ostream& out, bool colour);
    ~InteractiveConsole();
    InteractiveConsole(const InteractiveConsole&) = delete;
    InteractiveConsole& operator=(const InteractiveConsole&) = delete;

    // Runs until quit, exit, end of input, or `stop` (set from a signal
    // handler) becomes true. `historyFile` ("" for none) is read at the
    // start and written at the end.
    void run(const std::atomic<bool>& stop, const std::string& historyFile);

    // Plays script `lines` as if typed at the prompt: each command is echoed
    // after the prompt and carried out, and what changed is shown after it;
    // comment lines are shown as captions. Stops early when `stop` becomes
    // true or the output can no longer be written.
    void play(const std::vector<std::string>& lines, const std::atomic<bool>& stop);

    // Carries out one line typed at the prompt (public for the prompt's
    // readline callback).
    void handleLine(const std::string& line);
    void leave();
    void flush();
    bool leaving() const { return leaving_; }

private:
    struct Happening {
        std::string text;
        bool refusal = false;
    };

    void collect(const Json& event);
    void show();
    void showHelp(const std::string& command);
    void showError(const std::string& text);

    SpringBoardSession& session_;
    Trace& trace_;
    std::size_t observer_ = 0;
    std::ostream& out_;
    bool colour_;
    bool leaving_ = false;
    bool echo_ = false;  // the output is no terminal: each line taken is written to it
    int lineNumber_ = 0;
    // What was drawn last, so an unchanged sheet is not drawn again.
    std::optional<SheetState> shown_;
    // Trace events may come from IPC threads; show() takes them on the main one.
    std::mutex happeningsMutex_;
    std::vector<Happening> happenings_;
};

// Where the prompt keeps its history: $XDG_STATE_HOME/velmora/history when
// XDG_STATE_HOME is set to an absolute path, else ~/.velmora_history ("" when
// there is no home either). Makes the directory it names when missing.
std::string historyFilePath();

}  // namespace sim
