#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace sim {

// The largest script `run` reads; anything longer is refused, not loaded.
inline constexpr std::size_t kMaxScriptBytes = 16u << 20;

// The text of the script at `path` ("-": standard input), or absent with
// `error` set. A path that is no regular file (a directory, a device such as
// /dev/zero, a FIFO) is refused without blocking, and so is a script larger
// than kMaxScriptBytes.
std::optional<std::string> readScriptFile(const std::string& path, std::string& error);

}  // namespace sim
