#include "UsageError.h"

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
    for (const CLI::App* sub : command.get_subcommands({})) names.push_back(sub->get_name());
    return names;
}

std::string joined(const std::vector<std::string>& names) {
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i) out += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    return out;
}

}  // namespace

int reportUsageError(const CLI::App& app, const CLI::ParseError& error) {
    std::string path;
    const CLI::App* command = deepestCommand(app, path);
    const std::vector<std::string> names = commandNames(*command);
    const std::string help = "see " + path + " --help";

    std::vector<std::string> extras = command->remaining();
    // `velmora-sim help run`, as some tools take it.
    const std::vector<std::string> topExtras = app.remaining();
    if ((!extras.empty() && extras.front() == "help") || (!topExtras.empty() && topExtras.front() == "help"))
        return usageError("unknown command \"help\" (for help: velmora-sim --help, or velmora-sim COMMAND --help)");
    if (!names.empty()) {
        // Where a command must follow: say which ones there are.
        if (!extras.empty() && !extras.front().empty() && extras.front().front() != '-') {
            std::string message = "unknown command \"" + excerpt(extras.front(), 40) + "\"";
            if (auto suggestion = closestWord(extras.front(), names)) message += " (did you mean \"" + *suggestion + "\"?)";
            return usageError(message + "; the commands are " + joined(names) + " (" + help + ")");
        }
        if (dynamic_cast<const CLI::RequiredError*>(&error) && command->get_subcommands().empty() && extras.empty())
            return usageError("no command given; the commands are " + joined(names) + " (" + help + ")");
    }
    return usageError(path.substr(std::string("velmora-sim").size() + (path == "velmora-sim" ? 0 : 1)) +
                      (path == "velmora-sim" ? "" : ": ") + excerpt(error.what(), 200) + " (" + help + ")");
}

}  // namespace sim
