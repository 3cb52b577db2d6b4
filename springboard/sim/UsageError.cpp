#include "UsageError.h"

#include <regex>
#include <string>
#include <vector>

#include "ExitStatus.h"
#include "ScriptParser.h"
#include "Suggestion.h"

namespace sim {
namespace {

// "velmora-sim device create": the command the parse had reached.
const CLI::App* deepestCommand(const CLI::App& app, std::string& path) {
    const CLI::App* command = &app;
    path = "velmora-sim";
    for (;;) {
        auto parsed = command->get_subcommands();
        if (parsed.empty()) return command;
        command = parsed.front();
        path += " " + command->get_name();
    }
}

std::vector<std::string> commandNames(const CLI::App& command) {
    std::vector<std::string> names;
    for (const CLI::App* sub : command.get_subcommands({}))
        if (!sub->get_group().empty()) names.push_back(sub->get_name());  // hidden ones stay hidden
    return names;
}

std::vector<std::string> optionNames(const CLI::App& command) {
    std::vector<std::string> names;
    for (const CLI::Option* option : command.get_options())
        for (const auto& name : option->get_lnames()) names.push_back("--" + name);
    return names;
}

std::string joined(const std::vector<std::string>& names, const char* last = " and ") {
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i) out += (i == 0 ? "" : i + 1 == names.size() ? last : ", ") + names[i];
    return out;
}

// How an option or argument is written in a usage line: "--device DIR", "DIR".
std::string usageOf(const CLI::Option& option) {
    std::string name = option.get_lnames().empty() ? option.get_name() : "--" + option.get_lnames().front();
    return option.get_type_name().empty() || option.get_items_expected_max() == 0 ? name : name + " " + option.get_type_name();
}

// One line saying what was wrong, in the words a user would use, without the
// parser's own vocabulary ("TEXT", "REQUIRED", "The following argument").
std::string explain(const CLI::App& command, const std::string& name, const CLI::ParseError& error) {
    const std::string what = error.what();
    if (dynamic_cast<const CLI::RequiredError*>(&error)) {
        std::vector<std::string> missing;
        for (const CLI::Option* option : command.get_options())
            if (option->get_required() && option->count() == 0) missing.push_back(usageOf(*option));
        if (!missing.empty()) return name + " needs " + joined(missing);
    }
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error)) {
        for (const CLI::Option* option : command.get_options())
            if (what.rfind(option->get_name() + ":", 0) == 0 || what.rfind("--" + option->get_name() + ":", 0) == 0)
                return usageOf(*option).substr(0, usageOf(*option).find(' ')) + " needs a value: " + usageOf(*option);
    }
    if (dynamic_cast<const CLI::ValidationError*>(&error)) {
        static const std::regex notIn(R"(^(\S+): (.*) not in \{(.*)\}$)");
        std::smatch match;
        if (std::regex_match(what, match, notIn)) {
            std::vector<std::string> choices;
            std::string list = match[3];
            for (std::size_t at = 0; at <= list.size();) {
                std::size_t comma = std::min(list.find(',', at), list.size());
                choices.push_back(list.substr(at, comma - at));
                at = comma + 1;
            }
            return match[1].str() + " takes " + joined(choices, " or ") + ", not \"" + excerpt(match[2].str(), 40) + "\"";
        }
    }
    if (dynamic_cast<const CLI::ExtrasError*>(&error)) {
        std::vector<std::string> extras = command.remaining();
        const std::string extra = extras.empty() ? "" : extras.front();
        if (!extra.empty() && extra.front() == '-') {
            std::string message = "unknown option \"" + excerpt(extra, 40) + "\"";
            if (auto suggestion = closestWord(extra.substr(0, extra.find('=')), optionNames(command)))
                message += " (did you mean \"" + *suggestion + "\"?)";
            return message;
        }
        std::string message = name + " takes no further argument \"" + excerpt(extra, 40) + "\"";
        // `run my.script`: the script is named with --script.
        if (command.get_name() == "run") message += "; to run a script: velmora-sim run --script " + excerpt(extra, 40);
        return message;
    }
    return name + ": " + excerpt(what, 200);
}

}  // namespace

int reportUsageError(const CLI::App& app, const CLI::ParseError& error) {
    std::string path;
    const CLI::App* command = deepestCommand(app, path);
    const std::vector<std::string> names = commandNames(*command);
    const std::string help = "see " + path + " --help";

    std::vector<std::string> extras = command->remaining();
    if (!names.empty()) {
        // Where a command must follow: say which ones there are.
        if (!extras.empty() && !extras.front().empty() && extras.front().front() != '-') {
            std::string message = "unknown command \"" + excerpt(extras.front(), 40) + "\"";
            if (auto suggestion = closestWord(extras.front(), names)) message += " (did you mean \"" + *suggestion + "\"?)";
            return usageError(message + "; the commands are " + joined(names) + " (" + help + ")");
        }
        if (!extras.empty()) {
            std::string message = "unknown option \"" + excerpt(extras.front(), 40) + "\"";
            if (auto suggestion = closestWord(extras.front(), optionNames(*command)))
                message += " (did you mean \"" + *suggestion + "\"?)";
            return usageError(message + "; a command must come first: " + joined(names, " or ") + " (" + help + ")");
        }
        if (dynamic_cast<const CLI::RequiredError*>(&error) && command->get_subcommands().empty())
            return usageError("no command given; the commands are " + joined(names) + " (" + help + ")");
    }
    const std::string name = path == "velmora-sim" ? path : path.substr(std::string("velmora-sim ").size());
    return usageError(explain(*command, name, error) + " (" + help + ")");
}

}  // namespace sim
