#pragma once

// The platform's one atomic file writer: readers of `path` see the whole old
// content or the whole new one, whenever the writer is killed.

#include <sys/types.h>

#include <string>
#include <string_view>

namespace springboard {

// Replaces the file at `path` with `bytes`. The bytes go to "<path>.tmp",
// which is flushed to disk and renamed over `path`; whatever sat at that
// temporary name before (a file left by a killed writer, a symbolic or hard
// link, a FIFO) is removed, never written through. An existing file keeps its
// permission bits; a new one gets `newFileMode`. On failure `path` is left as
// it was and no temporary file remains. Writers in one directory take
// turns. Returns whether `path` now holds `bytes`.
bool writeFileAtomically(const std::string& path, std::string_view bytes, mode_t newFileMode = 0644);

}  // namespace springboard
