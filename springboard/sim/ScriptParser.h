#pragma once

// The simulator's script language: one command per line.
//
//   front BUNDLE_ID | open | pick TITLE | pick-index N | type TEXT | submit |
//   answer TEXT | cancel | close | ipc MESSAGE [JSON] | notify NAME [JSON] | wait
//
// Arguments run to the end of the line, leading and trailing blanks trimmed.
// An argument may instead be one double-quoted string ("…", escapes \" \\ \n),
// which is how empty or blank-edged texts are written. A "#" at the start of a
// line, or after a blank outside quotes, starts a comment that runs to the end
// of the line (quote the argument to keep a "#" that follows a blank).
//
// Parsing is pure: no I/O, no global state, never throws on any input.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace sim {

enum class CommandKind { Front, Open, Pick, PickIndex, Type, Submit, Answer, Cancel, Close, Ipc, Notify, Wait };

struct ScriptCommand {
    CommandKind kind = CommandKind::Wait;
    int line = 0;              // 1-based line number in the script
    std::string argument;      // the text of front/pick/type/answer; the name of ipc/notify
    std::int64_t index = 0;    // pick-index only
    nlohmann::json payload;    // ipc/notify only: always a JSON object ({} when none was given)
};

struct ScriptError {
    int line = 0;
    std::string message;  // one line, no line number in it
};

// One line's outcome: a command, nothing (blank or comment line), or an error.
struct ParsedLine {
    std::optional<ScriptCommand> command;
    std::optional<ScriptError> error;
};

ParsedLine parseScriptLine(std::string_view line, int lineNumber);

// A whole script: the commands in order, or the first error (and no commands).
struct ParsedScript {
    std::vector<ScriptCommand> commands;
    std::optional<ScriptError> error;
};

ParsedScript parseScript(std::string_view text);

// The script words, for completion and help.
const std::vector<std::string>& scriptCommandNames();

// The word a command is written with ("pick-index" for PickIndex).
std::string_view commandName(CommandKind kind);

}  // namespace sim
