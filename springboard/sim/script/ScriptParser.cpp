#include "ScriptParser.h"

#include <array>
#include <charconv>
#include <utility>

#include "Suggestion.h"

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

// Whether the line is a comment: its first non-blank character is '#'.
bool isComment(std::string_view line) {
    std::string_view trimmed = trim(line);
    return !trimmed.empty() && trimmed.front() == '#';
}

bool isQuote(char c) { return c == '"' || c == '\''; }

struct Quoted {
    std::string text;
    std::size_t consumed = 0;  // bytes of the input used, closing quote included
    std::optional<std::string> error;
};

// Reads a quoted string starting at s[0], a double or a single quote. With
// `partial`, running out of input is no error (completion reads what the
// user has typed so far).
Quoted readQuoted(std::string_view s, bool partial = false) {
    Quoted q;
    const char quote = s[0];
    for (std::size_t i = 1; i < s.size(); ++i) {
        char c = s[i];
        if (c == quote) {
            q.consumed = i + 1;
            return q;
        }
        if (c != '\\' || quote == '\'') {
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
    q.consumed = s.size();
    if (!partial) q.error = "unterminated quoted text";
    return q;
}

// The argument of a one-text command: the trimmed rest, or one quoted string.
std::optional<std::string> readText(std::string_view rest, std::string& error) {
    if (rest.empty() || !isQuote(rest.front())) return std::string(rest);
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

// Whether JSON `text` nests arrays and objects deeper than `limit`. Counts
// brackets outside strings; the text need not be valid JSON.
bool nestsDeeperThan(std::string_view text, int limit) {
    int depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (inString) {
            if (c == '\\') ++i;
            else if (c == '"') inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit) return true;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return false;
}

}  // namespace

std::string excerpt(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) return std::string(text);
    std::size_t cut = limit > 3 ? limit - 3 : 0;  // room for the three bytes of "…"
    // Back up to the start of a UTF-8 sequence, so no character is split.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return std::string(text.substr(0, cut)) + "…";
}

std::optional<nlohmann::json> parseJsonObject(std::string_view text, std::string& error) {
    if (nestsDeeperThan(text, kMaxJsonDepth)) {
        error = "the JSON nests deeper than " + std::to_string(kMaxJsonDepth) + " levels";
        return std::nullopt;
    }
    auto json = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (json.is_discarded()) {
        error = "not valid JSON: " + excerpt(text);
        return std::nullopt;
    }
    if (!json.is_object()) {
        error = "the JSON must be an object ({...})";
        return std::nullopt;
    }
    return json;
}

std::string quoteArgument(std::string_view text) {
    bool plain = !text.empty() && !isBlank(text.front()) && !isBlank(text.back()) && !isQuote(text.front()) &&
                 text.find('\n') == std::string_view::npos;
    if (plain) return std::string(text);
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        if (c == '\n') out += "\\n";
        else out += c;
    }
    return out + "\"";
}

std::string partialArgument(std::string_view typed) {
    std::string_view rest = typed;
    while (!rest.empty() && isBlank(rest.front())) rest.remove_prefix(1);
    if (rest.empty() || !isQuote(rest.front())) return std::string(rest);
    return readQuoted(rest, /*partial=*/true).text;
}

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

ParsedLine parseScriptLine(std::string_view rawLine, int lineNumber, LineSource source) {
    if (source == LineSource::Script && isComment(rawLine)) return {};
    std::string_view line = trim(rawLine);
    if (line.empty()) return {};
    // Refused rather than passed on: C strings on the way (URLs, the
    // database) would cut the text at it, silently.
    if (line.find('\0') != std::string_view::npos)
        return fail(lineNumber, "the line holds a NUL byte, which no list or task can hold");

    std::size_t wordEnd = 0;
    while (wordEnd < line.size() && !isBlank(line[wordEnd])) ++wordEnd;
    std::string_view word = line.substr(0, wordEnd);
    std::string_view rest = trim(line.substr(wordEnd));

    const CommandSyntax* syntax = nullptr;
    for (const auto& candidate : kCommands)
        if (candidate.name == word) syntax = &candidate;
    if (!syntax) {
        std::string message = "unknown command \"" + excerpt(word, 40) + "\"";
        if (auto suggestion = closestWord(word, scriptCommandNames())) message += " (did you mean \"" + *suggestion + "\"?)";
        return fail(lineNumber, message);
    }

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
                return fail(lineNumber, "pick-index needs a non-negative whole number, got \"" + excerpt(rest) + "\"");
            command.index = value;
            break;
        }

        case CommandSyntax::Arguments::NameAndJson: {
            if (rest.empty()) return fail(lineNumber, std::string(word) + " needs a name");
            std::string_view json;
            if (isQuote(rest.front())) {
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
            auto payload = parseJsonObject(json, error);
            if (!payload) return fail(lineNumber, std::string(word) + ": " + error);
            command.payload = std::move(*payload);
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
