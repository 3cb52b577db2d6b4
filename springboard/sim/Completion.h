#pragma once

// Bash completion for velmora-sim, made by walking the parser's own command
// tree, so a new command or option completes without anyone writing it twice.

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace sim {

// A bash script defining the completion function and binding it to
// velmora-sim. Commands complete at each level, options after "-", the
// values of options and arguments typed DIR as directories, FILE and PKG.deb
// as files, and "a|b|c" as those words.
std::string bashCompletion(const CLI::App& app);

// Every command below the top, depth first ("device", "device create", ...,
// "run"): what the manual page lists, each with its own help.
std::vector<std::string> commandPaths(const CLI::App& app);

}  // namespace sim
