#pragma once

// The prompt's history file, guarded: it is read only when it is a regular
// file (a FIFO there must not hang the prompt, a directory must not be
// "saved" to in silence), and written whole through a temporary file renamed
// over it; a link is followed, so the file it points at is the one replaced,
// and keeps its lines.

#include <optional>
#include <string>

namespace sim {

// Why `path` cannot keep the history (one line for a warning); absent when
// it is a regular file or does not exist yet. Never blocks.
std::optional<std::string> historyFileProblem(const std::string& path);

// Loads `path` into readline's history when it is usable; the problem otherwise.
std::optional<std::string> loadHistory(const std::string& path);

// Writes readline's history (its last `lines` entries) to what `path` names,
// through a temporary file beside it and a rename. The problem, if any; the
// old file is untouched then.
std::optional<std::string> saveHistory(const std::string& path, int lines);

}  // namespace sim
