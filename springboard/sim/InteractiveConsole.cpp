#include "InteractiveConsole.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ostream>

#include <unistd.h>

#include <readline/history.h>
#include <readline/readline.h>

#include "PWWidgetItem.h"

namespace sim {
namespace {

// readline's completion hooks are plain C functions; they reach the console's
// session through this, set for the life of run().
SpringBoardSession* completionSession = nullptr;
std::vector<std::string> completionCandidates;
const std::atomic<bool>* stopFlag = nullptr;

// Reads one key for readline. The process's own signal handlers stay in
// place (readline's are off), so Ctrl-C interrupts the read; a stop request
// then ends input like Ctrl-D, and run() leaves.
int readKey(FILE* stream) {
    for (;;) {
        if (stopFlag && *stopFlag) return EOF;
        unsigned char c = 0;
        ssize_t n = ::read(::fileno(stream), &c, 1);
        if (n == 1) return c;
        if (n == 0 || errno != EINTR) return EOF;
    }
}

char* nextCandidate(const char* text, int state) {
    static std::size_t index;
    if (state == 0) index = 0;
    (void)text;
    if (index < completionCandidates.size()) return strdup(completionCandidates[index++].c_str());
    return nullptr;
}

// Candidates are whole arguments (titles may hold blanks), but readline
// replaces only the last word: offer each match from that word on.
void offer(const std::vector<std::string>& choices, const std::string& typed, const std::string& word) {
    for (const auto& choice : choices)
        if (choice.compare(0, typed.size(), typed) == 0 && typed.size() >= word.size())
            completionCandidates.push_back(choice.substr(typed.size() - word.size()));
}

char** complete(const char* text, int start, int end) {
    rl_attempted_completion_over = 1;  // never fall back to file names
    completionCandidates.clear();
    std::string line(rl_line_buffer, static_cast<std::size_t>(end));
    std::string word(text);
    std::size_t firstEnd = line.find_first_of(" \t");
    if (firstEnd == std::string::npos || static_cast<std::size_t>(start) <= firstEnd) {
        std::vector<std::string> words = scriptCommandNames();
        words.insert(words.end(), {"help", "quit"});
        offer(words, word, word);
    } else if (completionSession) {
        std::string command = line.substr(0, firstEnd);
        std::size_t argumentStart = line.find_first_not_of(" \t", firstEnd);
        std::string typed = argumentStart == std::string::npos ? "" : line.substr(argumentStart);
        if (command == "pick") {
            offer(completionSession->listTitles(), typed, word);
        } else if (command == "front") {
            auto apps = completionSession->installedApplications();
            apps.push_back("home");
            offer(apps, typed, word);
        } else if (command == "ipc") {
            offer({"VLIPC.Lists"}, typed, word);
        } else if (command == "notify") {
            offer({"VLIPC.Kill"}, typed, word);
        }
    }
    if (completionCandidates.empty()) return nullptr;
    rl_completion_append_character = completionCandidates.size() == 1 && start == 0 ? ' ' : '\0';
    return rl_completion_matches(text, nextCandidate);
}

}  // namespace

InteractiveConsole::InteractiveConsole(SpringBoardSession& session, Trace& trace, std::ostream& out, bool colour)
    : session_(session), out_(out), colour_(colour) {
    trace.addObserver([this](const Json& event) { sheet_.apply(event); });
}

void InteractiveConsole::refresh() {
    PWHost& host = session_.host();
    sheet_.open = host.widget() != nullptr;
    if (!sheet_.open) {
        sheet_.listText.clear();
        sheet_.prompt.reset();
    }
    if (!host.hasOpenPrompt()) sheet_.prompt.reset();
    sheet_.choices = session_.listTitles();
    sheet_.taskText.clear();
    if (auto page = host.page())
        if (auto task = page->itemWithKey("task"))
            if (auto text = task->value().stringValue()) sheet_.taskText = *text;
    out_ << renderSheet(sheet_, colour_) << std::flush;
    sheet_.happenings.clear();
}

void InteractiveConsole::showHelp() {
    out_ << "Commands (Tab completes words, list titles and app identifiers):\n"
            "  open                 call up the widget\n"
            "  pick TITLE           choose a list (pick Create List... makes a new one)\n"
            "  pick-index N         choose the N-th choice (from 0)\n"
            "  type TEXT            set the task text\n"
            "  submit               add the task\n"
            "  answer TEXT | cancel answer or cancel the new-list prompt\n"
            "  close                close the widget\n"
            "  front ID | front home   bring an app (or the home screen) to the front\n"
            "  ipc MESSAGE [JSON]   send an IPC message as an app (try: ipc VLIPC.Lists)\n"
            "  notify NAME [JSON]   post a distributed notification\n"
            "  wait                 run queued work\n"
            "  quit                 leave (Ctrl-D too)\n";
}

void InteractiveConsole::run(const std::atomic<bool>& stop) {
    completionSession = &session_;
    stopFlag = &stop;
    rl_catch_signals = 0;
    rl_getc_function = readKey;
    rl_attempted_completion_function = complete;
    rl_completer_word_break_characters = const_cast<char*>(" \t");
    using_history();
    out_ << "Velmora simulator on " << session_.device() << "\nType \"help\" for the commands.\n";
    refresh();

    int lineNumber = 0;
    while (char* raw = readline("velmora> ")) {
        std::string line(raw);
        std::free(raw);
        if (stop) break;
        ++lineNumber;
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        add_history(line.c_str());
        std::string word = line.substr(line.find_first_not_of(" \t"));
        word = word.substr(0, word.find_first_of(" \t"));
        if (word == "quit" || word == "exit") break;
        if (word == "help") {
            showHelp();
            continue;
        }
        ParsedLine parsed = parseScriptLine(line, lineNumber);
        if (parsed.error) {
            out_ << (colour_ ? "\x1b[31m" : "") << parsed.error->message << (colour_ ? "\x1b[0m" : "") << "\n";
            continue;
        }
        if (!parsed.command) continue;
        session_.execute(*parsed.command);
        refresh();
    }
    completionSession = nullptr;
    stopFlag = nullptr;
    rl_getc_function = rl_getc;
    out_ << "\n";
}

void InteractiveConsole::play(const std::vector<std::string>& lines, const std::atomic<bool>& stop) {
    out_ << "Velmora simulator on " << session_.device() << "\n";
    refresh();
    int lineNumber = 0;
    for (const auto& line : lines) {
        if (stop) break;
        ++lineNumber;
        ParsedLine parsed = parseScriptLine(line, lineNumber);
        if (!parsed.command) {
            if (!parsed.error && !line.empty()) out_ << (colour_ ? "\x1b[2m" : "") << line << (colour_ ? "\x1b[0m" : "") << "\n";
            continue;
        }
        out_ << (colour_ ? "\x1b[1m" : "") << "velmora> " << line << (colour_ ? "\x1b[0m" : "") << "\n";
        session_.execute(*parsed.command);
        refresh();
    }
}

}  // namespace sim
