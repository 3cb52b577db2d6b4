#pragma once

// The simulated Clear app's task store: Clear's own BackendTasks.sqlite.
// Table `lists` (column `title`, the one the widget reads) holds the lists in
// the order they were made; table `tasks` is the simulator's own and holds
// each task's list title and text.

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "SQLiteConnection.h"

namespace sim {

class ClearDatabase {
public:
    // The path of the database inside an app container directory.
    static std::string pathInContainer(const std::string& containerDirectory);

    // Opens (creating when `create`) the database at `path` and makes sure both
    // tables exist. nullptr when it cannot be opened; `error` then says why.
    static std::unique_ptr<ClearDatabase> open(const std::string& path, bool create, std::string* error = nullptr);

    // Whether databases opened from now on skip SQLite's syncs: those of a
    // device deleted when the process ends (setDeviceIsTemporary sets it, so
    // the Clear app need not know what a device is). Process-wide.
    static void setSkipsSync(bool skip);

    ClearDatabase(const ClearDatabase&) = delete;
    ClearDatabase& operator=(const ClearDatabase&) = delete;

    bool addList(const std::string& title);
    bool hasList(const std::string& title);
    bool addTask(const std::string& listTitle, const std::string& text);

    std::vector<std::string> lists();                                // in rowid order
    std::vector<std::pair<std::string, std::string>> tasks();        // (list, text), in order

private:
    explicit ClearDatabase(SQLiteConnection connection) : connection_(std::move(connection)) {}
    SQLiteConnection connection_;
};

}  // namespace sim
