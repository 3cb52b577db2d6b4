#pragma once

#include <CLI/CLI.hpp>

namespace sim {

// Reports a command-line error of `app` on one line and returns exit status
// 2: an unknown command gets the nearest known one and the list of commands,
// and any other mistake points to the --help of the command it was made in.
int reportUsageError(const CLI::App& app, const CLI::ParseError& error);

}  // namespace sim
