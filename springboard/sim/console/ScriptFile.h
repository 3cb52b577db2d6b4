#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace sim {

// The largest script `run` reads; anything longer is refused, not loaded.
inline constexpr std::size_t kMaxScriptBytes = 16u << 20;

// The text of the script at `path` ("-": standard input), or absent with
// `error` set. A file, a pipe (`<(...)`, /dev/stdin, a FIFO: opened without
// waiting for a writer) or a character device (/dev/null) is read; anything
// else (a directory, a socket) is refused, and so is a script larger than
// kMaxScriptBytes, however it comes.
std::optional<std::string> readScriptFile(const std::string& path, std::string& error);

}  // namespace sim
