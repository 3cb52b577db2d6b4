#include "Completion.h"

#include <sstream>
#include <vector>

namespace sim {
namespace {

struct Entry {
    std::string path;  // "velmora-sim", "velmora-sim device create" (bash takes no empty key)
    const CLI::App* command;
};

void collect(const CLI::App& command, const std::string& path, std::vector<Entry>& out) {
    out.push_back({path, &command});
    for (const CLI::App* sub : command.get_subcommands({}))
        if (!sub->get_group().empty()) collect(*sub, path + " " + sub->get_name(), out);
}

// What a value of this type completes to: "dir", "file", "words:a b c" or
// "" (nothing: a name or a JSON text the shell cannot guess).
std::string compgenFor(const std::string& type) {
    if (type == "DIR") return "dir";
    if (type == "FILE" || type == "PKG.deb") return "file";
    if (type.find('|') != std::string::npos) {
        std::string words = type;
        for (char& c : words)
            if (c == '|') c = ' ';
        return "words:" + words;
    }
    return "";
}

std::string typeOf(const CLI::Option& option) {
    // Positional arguments carry their kind in their name (DIR, PKG.deb).
    return option.get_type_name().empty() ? option.get_name() : option.get_type_name();
}

}  // namespace

std::vector<std::string> commandPaths(const CLI::App& app) {
    std::vector<Entry> entries;
    collect(app, "velmora-sim", entries);
    std::vector<std::string> paths;
    for (std::size_t i = 1; i < entries.size(); ++i) paths.push_back(entries[i].path.substr(std::string("velmora-sim ").size()));
    return paths;
}

std::string bashCompletion(const CLI::App& app) {
    std::vector<Entry> entries;
    collect(app, "velmora-sim", entries);

    std::ostringstream commands, options, values, positionals;
    for (const auto& entry : entries) {
        std::string subs, flags, positional;
        for (const CLI::App* sub : entry.command->get_subcommands({}))
            if (!sub->get_group().empty()) subs += (subs.empty() ? "" : " ") + sub->get_name();
        for (const CLI::Option* option : entry.command->get_options()) {
            if (option->get_positional() && option->get_lnames().empty() && option->get_snames().empty()) {
                if (positional.empty()) positional = compgenFor(typeOf(*option));
                continue;
            }
            for (const auto& name : option->get_snames()) flags += (flags.empty() ? "-" : " -") + name;
            for (const auto& name : option->get_lnames()) {
                flags += (flags.empty() ? "--" : " --") + name;
                if (option->get_items_expected_max() > 0)
                    values << "        [\"" << entry.path << " --" << name << "\"]=\"" << compgenFor(typeOf(*option)) << "\"\n";
            }
        }
        commands << "        [\"" << entry.path << "\"]=\"" << subs << "\"\n";
        options << "        [\"" << entry.path << "\"]=\"" << flags << "\"\n";
        positionals << "        [\"" << entry.path << "\"]=\"" << positional << "\"\n";
    }

    std::ostringstream out;
    out << "# bash completion for velmora-sim, made by velmora-sim completion bash\n"
           "_velmora_sim() {\n"
           "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} path=velmora-sim i next\n"
           "    local -A commands=(\n" << commands.str() << "    )\n"
           "    local -A options=(\n" << options.str() << "    )\n"
           "    local -A values=(\n" << values.str() << "    )\n"
           "    local -A positionals=(\n" << positionals.str() << "    )\n"
           "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
           "        next=\"$path ${COMP_WORDS[i]}\"\n"
           "        [[ -n \"${commands[$next]+set}\" ]] && path=$next\n"
           "    done\n"
           "    _velmora_sim_values() {\n"
           "        case $1 in\n"
           "            dir) compgen -d -- \"$cur\" ;;\n"
           "            file) compgen -f -- \"$cur\" ;;\n"
           "            words:*) compgen -W \"${1#words:}\" -- \"$cur\" ;;\n"
           "        esac\n"
           "    }\n"
           "    if [[ -n \"${values[$path $prev]+set}\" ]]; then\n"
           "        COMPREPLY=($(_velmora_sim_values \"${values[$path $prev]}\"))\n"
           "        return\n"
           "    fi\n"
           "    if [[ $cur == -* ]]; then\n"
           "        COMPREPLY=($(compgen -W \"${options[$path]}\" -- \"$cur\"))\n"
           "    elif [[ -n \"${commands[$path]}\" ]]; then\n"
           "        COMPREPLY=($(compgen -W \"${commands[$path]}\" -- \"$cur\"))\n"
           "    elif [[ -n \"${positionals[$path]}\" ]]; then\n"
           "        COMPREPLY=($(_velmora_sim_values \"${positionals[$path]}\"))\n"
           "    fi\n"
           "}\n"
           "complete -o filenames -F _velmora_sim velmora-sim\n";
    return out.str();
}

}  // namespace sim
