#pragma once

#include <string>

namespace sim {

// `serve --device DIR`: SpringBoard with no script, answering IPC messages
// until SIGINT, SIGTERM or SIGHUP; the trace goes to `traceTo` ("-": standard
// output, "": nowhere).
int serveDevice(const std::string& device, const std::string& traceTo);

}  // namespace sim
