#include "InteractiveConsole.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <ostream>

#include <readline/history.h>
#include <readline/readline.h>

#include "ClearDatabaseReport.h"
#include "EventDescription.h"
#include "HistoryFile.h"
#include "ScriptParser.h"
#include "StopSignals.h"
#include "Suggestion.h"
#include "TerminalText.h"

namespace fs = std::filesystem;

namespace sim {
namespace {

constexpr const char* kPrompt = "velmora> ";
constexpr const char* kErrorColour = "\x1b[31m";
constexpr int kHistoryLines = 1000;

// The words the prompt knows besides the script's.
const std::vector<std::string> kPromptWords = {"help", "show", "quit", "exit"};

struct HelpEntry {
    const char* word;
    const char* usage;
    const char* summary;
    const char* details;
};

const HelpEntry kHelp[] = {
    {"open", "open", "call up the widget", "The widget reads Clear's lists and theme and shows its form."},
    {"pick", "pick TITLE", "choose a list", "Chooses the first list titled TITLE; \"pick Create List...\" asks for a new list."},
    {"pick-index", "pick-index N", "choose the N-th choice (from 0)", "Chooses by position, 0 for the first choice."},
    {"type", "type TEXT", "set the task text", "TEXT runs to the end of the line; quote it for blank edges."},
    {"submit", "submit", "add the task", "Opens Clear with the task for the chosen list, then returns to the app in front."},
    {"answer", "answer TEXT", "name the new list", "Confirms the open \"Create List\" question with TEXT."},
    {"cancel", "cancel", "dismiss the new-list question", "Cancels the open question; the previous choice comes back."},
    {"close", "close", "close the widget", "The host destroys the widget."},
    {"front", "front ID | front home", "bring an app (or the home screen) to the front", "ID is a bundle identifier; Tab completes the installed ones."},
    {"ipc", "ipc MESSAGE [JSON]", "send an IPC message as an app", "The JSON object is the request dictionary (default {}); try: ipc VLIPC.Lists"},
    {"notify", "notify NAME [JSON]", "post a distributed notification", "The JSON object is the user-info (default {})."},
    {"wait", "wait", "run queued work", "Queued main-queue work also runs after every line."},
    {"show", "show", "print Clear's database", "Prints the lists and tasks of each installed Clear, as Clear has stored them."},
    {"help", "help [COMMAND]", "list the commands, or explain one", "Without COMMAND, lists every command."},
    {"quit", "quit | exit", "leave (Ctrl-D too)", "Ctrl-C only cancels the line being typed."},
    {"exit", "exit | quit", "leave (Ctrl-D too)", "Ctrl-C only cancels the line being typed."},
};

// Terminal columns for the sheet: the output's, else the input's (`run |
// tee log` still has a terminal behind standard input), else a fixed default.
int terminalWidth() {
    for (int fd : {STDOUT_FILENO, STDIN_FILENO}) {
        struct winsize size {};
        if (::isatty(fd) && ::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    }
    return 48;
}

// readline's hooks are plain C functions; they reach the console through
// these, set for the life of run().
InteractiveConsole* activeConsole = nullptr;
SpringBoardSession* completionSession = nullptr;
std::vector<std::string> completionCandidates;
std::size_t completionArgumentStart = 0;  // where the argument begins in each candidate

char* nextCandidate(const char*, int state) {
    static std::size_t index;
    if (state == 0) index = 0;
    if (index < completionCandidates.size()) return strdup(completionCandidates[index++].c_str());
    return nullptr;
}

bool startsWith(const std::string& text, const std::string& prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

// The whole line is one completion word (no break characters), so each
// candidate is the whole line: the command as typed, then the argument
// written as the parser reads it back. readline then replaces what was typed
// with the common part of the candidates, quotes and escapes included.
char** complete(const char* text, int, int end) {
    rl_attempted_completion_over = 1;  // never fall back to file names
    completionCandidates.clear();
    std::string line(rl_line_buffer, static_cast<std::size_t>(end));
    std::size_t wordStart = std::min(line.find_first_not_of(" \t"), line.size());
    std::size_t wordEnd = std::min(line.find_first_of(" \t", wordStart), line.size());
    std::string word = line.substr(wordStart, wordEnd - wordStart);
    if (wordEnd == line.size()) {
        std::vector<std::string> words = scriptCommandNames();
        words.insert(words.end(), kPromptWords.begin(), kPromptWords.end());
        for (const auto& candidate : words)
            if (startsWith(candidate, word)) completionCandidates.push_back(line.substr(0, wordStart) + candidate);
        completionArgumentStart = wordStart;
        rl_completion_append_character = ' ';
    } else if (completionSession) {
        std::vector<std::string> choices;
        if (word == "pick") choices = completionSession->listTitles();
        if (word == "front") {
            choices = completionSession->installedApplications();
            choices.push_back("home");
        }
        if (word == "ipc") choices = {"VLIPC.Lists"};
        if (word == "notify") choices = {"VLIPC.Kill"};
        if (word == "help") {
            choices = scriptCommandNames();
            choices.insert(choices.end(), kPromptWords.begin(), kPromptWords.end());
        }
        // `pick "Q` may open a quoted argument or begin a title that starts
        // with a quote: offer both readings.
        std::string typed = line.substr(wordEnd);
        std::string prefix = partialArgument(typed);
        std::string literal = typed.substr(std::min(typed.find_first_not_of(" \t"), typed.size()));
        std::string head = line.substr(0, wordEnd) + " ";
        for (const auto& choice : choices)
            if (startsWith(choice, prefix) || startsWith(choice, literal))
                completionCandidates.push_back(head + quoteArgument(choice));
        completionArgumentStart = head.size();
        rl_completion_append_character = '\0';
    }
    if (completionCandidates.empty()) return nullptr;
    return rl_completion_matches(text, nextCandidate);
}

// Lists the candidates' arguments only, not the whole lines.
void displayMatches(char** matches, int count, int) {
    std::vector<std::string> shown;
    for (int i = 1; i <= count; ++i) {
        std::string match = matches[i];
        shown.push_back(match.size() > completionArgumentStart ? match.substr(completionArgumentStart) : match);
    }
    std::vector<char*> list{matches[0]};
    int longest = 0;
    for (auto& s : shown) {
        list.push_back(s.data());
        longest = std::max(longest, static_cast<int>(s.size()));
    }
    list.push_back(nullptr);
    rl_display_match_list(list.data(), count, longest);
    rl_forced_update_display();
}

void onLine(char* raw) {
    if (!activeConsole) return;
    if (!raw) {  // Ctrl-D on an empty line
        activeConsole->leave();
        return;
    }
    std::string line(raw);
    std::free(raw);
    activeConsole->handleLine(line);
    // readline may be editing on another stream than the output (`run |
    // tee log`), so nothing else flushes what the line printed.
    activeConsole->flush();
}

// Ctrl-C: the line typed so far is dropped and a fresh prompt shown, as in a shell.
void cancelLine() {
    std::fputs("^C\n", rl_outstream ? rl_outstream : stdout);
    rl_free_line_state();
    rl_callback_sigcleanup();
    rl_replace_line("", 0);
    rl_on_new_line();
    rl_redisplay();
}

}  // namespace

std::string historyFilePath() {
    std::error_code ec;
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && *state == '/') {
        fs::path directory = fs::path(state) / "velmora";
        fs::create_directories(directory, ec);
        return (directory / "history").string();
    }
    const char* home = std::getenv("HOME");
    if (home && *home) return (fs::path(home) / ".velmora_history").string();
    return "";
}

InteractiveConsole::InteractiveConsole(SpringBoardSession& session, Trace& trace, std::ostream& out, bool colour)
    : session_(session), trace_(trace), out_(out), colour_(colour) {
    observer_ = trace_.addObserver([this](const Json& event) { collect(event); });
}

// The session outlives the console and still traces while it shuts down.
InteractiveConsole::~InteractiveConsole() { trace_.removeObserver(observer_); }

void InteractiveConsole::collect(const Json& event) {
    auto description = describeEvent(event);
    if (!description) return;
    Happening happening{description->text, description->refusal};
    std::lock_guard lock(happeningsMutex_);
    // The same message twice in one step (a second showMessage) says nothing new.
    for (const auto& seen : happenings_)
        if (seen.text == happening.text) return;
    happenings_.push_back(std::move(happening));
}

void InteractiveConsole::show() {
    SheetState sheet = readSheet(session_.host());
    if (!shown_ || !(*shown_ == sheet)) {
        if (sheet.open) out_ << renderSheet(sheet, colour_, terminalWidth());
        else if (!shown_ || shown_->open) out_ << "  (the widget is closed: type \"open\" to call it up)\n";
        shown_ = sheet;
    }
    std::vector<Happening> happenings;
    {
        std::lock_guard lock(happeningsMutex_);
        happenings.swap(happenings_);
    }
    for (const auto& happening : happenings) {
        if (happening.refusal) showError(happening.text);
        else out_ << "  → " << happening.text << "\n";
    }
    out_ << std::flush;
}

void InteractiveConsole::showError(const std::string& text) {
    out_ << (colour_ ? kErrorColour : "") << printable(text) << (colour_ ? "\x1b[0m" : "") << "\n";
}

void InteractiveConsole::showHelp(const std::string& command) {
    if (!command.empty()) {
        for (const auto& entry : kHelp) {
            if (command != entry.word) continue;
            out_ << "  " << entry.usage << "\n    " << entry.summary << ". " << entry.details << "\n";
            return;
        }
        std::vector<std::string> words = scriptCommandNames();
        words.insert(words.end(), kPromptWords.begin(), kPromptWords.end());
        std::string message = "no command \"" + excerpt(command, 40) + "\"";
        if (auto suggestion = closestWord(command, words)) message += " (did you mean \"" + *suggestion + "\"?)";
        showError(message + "; \"help\" lists the commands");
        return;
    }
    std::size_t width = 0;
    for (const auto& entry : kHelp) width = std::max(width, std::string(entry.usage).size());
    out_ << "Commands (Tab completes words, list titles and app identifiers; help COMMAND explains one):\n";
    for (const auto& entry : kHelp) {
        if (std::string(entry.word) == "exit") continue;  // listed with quit
        std::string usage = entry.usage;
        out_ << "  " << usage << std::string(width - usage.size() + 2, ' ') << entry.summary << "\n";
    }
    out_ << "Quote a text with blank edges: type \"  padded  \" (or '...'). A # is text here;\n"
            "in a script file a line starting with # is a comment.\n";
}

void InteractiveConsole::handleLine(const std::string& line) {
    ++lineNumber_;
    if (echo_) out_ << kPrompt << line << "\n";
    std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos) return;
    HIST_ENTRY* last = history_length > 0 ? history_get(history_base + history_length - 1) : nullptr;
    if (!last || line != last->line) add_history(line.c_str());

    std::size_t wordEnd = std::min(line.find_first_of(" \t", start), line.size());
    std::string word = line.substr(start, wordEnd - start);
    std::size_t argumentStart = line.find_first_not_of(" \t", wordEnd);
    std::string argument = argumentStart == std::string::npos ? "" : line.substr(argumentStart);
    while (!argument.empty() && (argument.back() == ' ' || argument.back() == '\t')) argument.pop_back();
    if ((word == "quit" || word == "exit") && argument.empty()) {
        leave();
        return;
    }
    if (word == "help") {
        showHelp(argument);
        return;
    }
    if (word == "show" && argument.empty()) {
        if (!printClearDatabases(session_, out_, "now")) showError("Clear is not installed on this device");
        return;
    }
    ParsedLine parsed = parseScriptLine(line, lineNumber_, LineSource::Prompt);
    if (parsed.error) {
        std::string message = parsed.error->message;
        if (startsWith(message, "unknown command")) message += "; \"help\" lists the commands";
        showError(message);
        return;
    }
    if (!parsed.command) return;
    session_.execute(*parsed.command);
    show();
}

void InteractiveConsole::flush() {
    out_.flush();
    if (!echo_) return;
    // The next prompt goes straight to the terminal while this line's output
    // is still in the pipe; give the reader (tee) a moment to show it first.
    for (int waited = 0; waited < 100; ++waited) {  // at most half a second
        int unread = 0;
        if (::ioctl(STDOUT_FILENO, FIONREAD, &unread) != 0 || unread == 0) break;
        ::usleep(5000);
    }
}

void InteractiveConsole::leave() {
    leaving_ = true;
    rl_callback_handler_remove();  // no fresh prompt after this line
}

void InteractiveConsole::run(const std::atomic<bool>& stop, const std::string& historyFile) {
    activeConsole = this;
    completionSession = &session_;
    rl_catch_signals = 0;  // the process's handlers stay; Ctrl-C reaches us as interruptRequested
    rl_attempted_completion_function = complete;
    rl_completion_display_matches_hook = displayMatches;
    rl_completer_word_break_characters = const_cast<char*>("");
    using_history();
    std::string history = historyFile;
    if (!history.empty())
        if (auto problem = loadHistory(history)) {
            std::cerr << "velmora-sim: warning: " << printable(*problem) << "; no history is kept\n";
            history.clear();
        }
    // Output that is no terminal (`run | tee log`) gets plain lines: readline
    // edits on the terminal behind standard error (or /dev/tty) instead, and
    // each line taken is written out as the demo writes its lines.
    std::FILE* editing = nullptr;
    echo_ = !::isatty(STDOUT_FILENO);
    if (echo_) {
        rl_variable_bind("enable-bracketed-paste", "off");
        if (::isatty(STDERR_FILENO)) rl_outstream = stderr;
        else if ((editing = std::fopen("/dev/tty", "we"))) rl_outstream = editing;
    }
    claimInterrupts(true);

    out_ << "Velmora simulator on " << session_.device() << "\nType \"help\" for the commands.\n";
    show();
    flush();  // the banner shows before readline's first prompt, which may go elsewhere
    rl_callback_handler_install(kPrompt, onLine);
    while (!leaving_ && !stop && out_) {
        struct pollfd input {STDIN_FILENO, POLLIN, 0};
        if (::poll(&input, 1, -1) < 0) {
            if (errno != EINTR) break;
            if (interruptRequested.exchange(false)) cancelLine();
            continue;
        }
        rl_callback_read_char();
    }
    if (!leaving_) rl_callback_handler_remove();
    claimInterrupts(false);
    out_ << "\n" << std::flush;
    if (!history.empty())
        if (auto problem = saveHistory(history, kHistoryLines))
            std::cerr << "velmora-sim: warning: " << printable(*problem) << "\n";
    rl_outstream = nullptr;
    if (editing) std::fclose(editing);
    activeConsole = nullptr;
    completionSession = nullptr;
}

void InteractiveConsole::play(const std::vector<std::string>& lines, const std::atomic<bool>& stop) {
    out_ << "Velmora simulator on " << session_.device() << "\n";
    show();
    int lineNumber = 0;
    for (const auto& line : lines) {
        if (stop || !out_) break;
        ++lineNumber;
        ParsedLine parsed = parseScriptLine(line, lineNumber);
        if (!parsed.command) {
            if (!parsed.error && !line.empty()) out_ << (colour_ ? "\x1b[2m" : "") << line << (colour_ ? "\x1b[0m" : "") << "\n";
            continue;
        }
        out_ << (colour_ ? "\x1b[1m" : "") << kPrompt << line << (colour_ ? "\x1b[0m" : "") << "\n";
        session_.execute(*parsed.command);
        show();
    }
}

}  // namespace sim
