#pragma once

// The simulator's script language: one command per line.
//
//   front BUNDLE_ID | open | pick TITLE | pick-index N | type TEXT | submit |
//   answer TEXT | cancel | close | ipc MESSAGE [JSON] | notify NAME [JSON] | wait
//
// Arguments run to the end of the line, leading and trailing blanks trimmed.
// An argument may instead be one quoted string: "…" with the escapes \" \\ \n,
// or '…' taken as written. That is how empty or blank-edged texts are written.
// In a script, a line whose first non-blank character is "#" is a comment; a
// "#" anywhere else is text. At the prompt nothing is a comment.
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

// Where a line comes from: a script file (comments allowed) or the prompt.
enum class LineSource { Script, Prompt };

ParsedLine parseScriptLine(std::string_view line, int lineNumber, LineSource source = LineSource::Script);

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

// How the deepest JSON a line may carry can nest; deeper is an error, so a
// hostile payload cannot exhaust the stack of whoever walks it.
inline constexpr int kMaxJsonDepth = 512;

// `text` as a JSON object, or absent with `error` set (not JSON, nested deeper
// than kMaxJsonDepth, or not an object). `error` quotes at most a short excerpt.
std::optional<nlohmann::json> parseJsonObject(std::string_view text, std::string& error);

// `text` written as one argument that this parser reads back as exactly
// `text`: as it is when that is unambiguous, else double-quoted with escapes.
std::string quoteArgument(std::string_view text);

// What a partly typed argument stands for so far (for completion): the
// characters of an unfinished quoted string with its escapes undone, or the
// text with leading blanks dropped.
std::string partialArgument(std::string_view typed);

// `text` cut to at most `limit` bytes (at a UTF-8 boundary, "…" marking the
// cut), for quoting user input in one-line messages.
std::string excerpt(std::string_view text, std::size_t limit = 80);

}  // namespace sim
