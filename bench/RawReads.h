#pragma once

// The raw baselines: the plainest read of each file with SQLite's and
// libplist's own calls, nothing of ours in between.

#include <string>
#include <vector>

namespace bench {

// sqlite3_open_v2 (read-only) / prepare / step / column_text / finalize /
// close, copying each title.
std::vector<std::string> rawListTitles(const std::string& databasePath);

// The file read whole with stdio, parsed by plist_from_memory, the string
// under `key` of the root dictionary taken ("" when missing).
std::string rawPlistString(const std::string& path, const char* key);

// The file parsed by libplist and freed: what reading a layout costs.
void rawPlistRead(const std::string& path);

}  // namespace bench
