#include "ScriptParser.h"

#include <array>
#include <charconv>
#include <utility>

namespace sim {
namespace {

struct CommandSyntax {
    std::string_view name;
    CommandKind kind;
    enum class Arguments { None, Text, Index, NameAndJson } arguments;
};

constexpr std::array<CommandSyntax, 12> kCommands{{
    {"front", CommandKind::Front, CommandSyntax::Arguments::Text},
    {"open", CommandKind::Open, CommandSyntax::Arguments::None},
    {"pick", CommandKind::Pick, CommandSyntax::Arguments::Text},
    {"pick-index", CommandKind::PickIndex, CommandSyntax::Arguments::Index},
    {"type", CommandKind::Type, CommandSyntax::Arguments::Text},
    {"submit", CommandKind::Submit, CommandSyntax::Arguments::None},
    {"answer", CommandKind::Answer, CommandSyntax::Arguments::Text},
    {"cancel", CommandKind::Cancel, CommandSyntax::Arguments::None},
    {"close", CommandKind::Close, CommandSyntax::Arguments::None},
    {"ipc", CommandKind::Ipc, CommandSyntax::Arguments::NameAndJson},
    {"notify", CommandKind::Notify, CommandSyntax::Arguments::NameAndJson},
    {"wait", CommandKind::Wait, CommandSyntax::Arguments::None},
}};

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

// Cuts the comment off: a '#' at the start or after a blank, outside quotes.
std::string_view stripComment(std::string_view line) {
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (quoted) {
            if (c == '\\') ++i;
            else if (c == '"') quoted = false;
        } else if (c == '"') {
            quoted = true;
        } else if (c == '#' && (i == 0 || isBlank(line[i - 1]))) {
            return line.substr(0, i);
        }
    }
    return line;
}

struct Quoted {
    std::string text;
    std::size_t consumed = 0;  // bytes of the input used, closing quote included
    std::optional<std::string> error;
};

// Reads a quoted string starting at s[0] == '"'.
Quoted readQuoted(std::string_view s) {
    Quoted q;
    for (std::size_t i = 1; i < s.size(); ++i) {
        char c = s[i];
        if (c == '"') {
            q.consumed = i + 1;
            return q;
        }
        if (c != '\\') {
            q.text += c;
            continue;
        }
        if (++i == s.size()) break;
        switch (s[i]) {
            case '"': q.text += '"'; break;
            case '\\': q.text += '\\'; break;
            case 'n': q.text += '\n'; break;
            default:
                q.error = std::string("unknown escape \\") + s[i] + " in quoted text (use \\\", \\\\ or \\n)";
                return q;
        }
    }
    q.error = "unterminated quoted text";
    return q;
}

// The argument of a one-text command: the trimmed rest, or one quoted string.
std::optional<std::string> readText(std::string_view rest, std::string& error) {
    if (rest.empty() || rest.front() != '"') return std::string(rest);
    Quoted q = readQuoted(rest);
    if (q.error) {
        error = *q.error;
        return std::nullopt;
    }
    if (!trim(rest.substr(q.consumed)).empty()) {
        error = "unexpected text after the closing quote";
        return std::nullopt;
    }
    return q.text;
}

ParsedLine fail(int lineNumber, std::string message) {
    return ParsedLine{std::nullopt, ScriptError{lineNumber, std::move(message)}};
}

}  // namespace

const std::vector<std::string>& scriptCommandNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> v;
        for (const auto& syntax : kCommands) v.emplace_back(syntax.name);
        return v;
    }();
    return names;
}

std::string_view commandName(CommandKind kind) {
    for (const auto& syntax : kCommands)
        if (syntax.kind == kind) return syntax.name;
    return "?";
}

ParsedLine parseScriptLine(std::string_view rawLine, int lineNumber) {
    std::string_view line = trim(stripComment(rawLine));
    if (line.empty()) return {};

    std::size_t wordEnd = 0;
    while (wordEnd < line.size() && !isBlank(line[wordEnd])) ++wordEnd;
    std::string_view word = line.substr(0, wordEnd);
    std::string_view rest = trim(line.substr(wordEnd));

    const CommandSyntax* syntax = nullptr;
    for (const auto& candidate : kCommands)
        if (candidate.name == word) syntax = &candidate;
    if (!syntax) return fail(lineNumber, "unknown command \"" + std::string(word) + "\"");

    ScriptCommand command;
    command.kind = syntax->kind;
    command.line = lineNumber;
    std::string error;

    switch (syntax->arguments) {
        case CommandSyntax::Arguments::None:
            if (!rest.empty()) return fail(lineNumber, std::string(word) + " takes no argument");
            break;

        case CommandSyntax::Arguments::Text: {
            if (rest.empty())
                return fail(lineNumber, std::string(word) + " needs an argument (write \"\" for an empty text)");
            auto text = readText(rest, error);
            if (!text) return fail(lineNumber, error);
            command.argument = std::move(*text);
            break;
        }

        case CommandSyntax::Arguments::Index: {
            std::int64_t value = 0;
            auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
            if (rest.empty() || ec != std::errc() || end != rest.data() + rest.size() || value < 0)
                return fail(lineNumber, "pick-index needs a non-negative whole number, got \"" + std::string(rest) + "\"");
            command.index = value;
            break;
        }

        case CommandSyntax::Arguments::NameAndJson: {
            if (rest.empty()) return fail(lineNumber, std::string(word) + " needs a name");
            std::string_view json;
            if (rest.front() == '"') {
                Quoted q = readQuoted(rest);
                if (q.error) return fail(lineNumber, *q.error);
                command.argument = std::move(q.text);
                json = trim(rest.substr(q.consumed));
            } else {
                std::size_t nameEnd = 0;
                while (nameEnd < rest.size() && !isBlank(rest[nameEnd])) ++nameEnd;
                command.argument = std::string(rest.substr(0, nameEnd));
                json = trim(rest.substr(nameEnd));
            }
            if (json.empty()) {
                command.payload = nlohmann::json::object();
                break;
            }
            command.payload = nlohmann::json::parse(json, nullptr, /*allow_exceptions=*/false);
            if (command.payload.is_discarded())
                return fail(lineNumber, std::string(word) + ": not valid JSON: " + std::string(json));
            if (!command.payload.is_object())
                return fail(lineNumber, std::string(word) + ": the JSON must be an object ({...})");
            break;
        }
    }
    return ParsedLine{std::move(command), std::nullopt};
}

ParsedScript parseScript(std::string_view text) {
    ParsedScript script;
    int lineNumber = 0;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        ParsedLine parsed = parseScriptLine(line, ++lineNumber);
        if (parsed.error) {
            script.commands.clear();
            script.error = std::move(parsed.error);
            return script;
        }
        if (parsed.command) script.commands.push_back(std::move(*parsed.command));
    }
    return script;
}

}  // namespace sim
