#include "ClearDatabaseReport.h"

#include "ClearDatabase.h"
#include "TerminalText.h"

namespace sim {

std::optional<std::vector<std::string>> clearLists(SpringBoardSession& session) {
    for (const char* identifier : {"com.realmacsoftware.clear", "com.realmacsoftware.clear.universal"}) {
        auto app = session.services().registry()->applicationWithIdentifier(identifier);
        if (!app || !app->path()) continue;
        const std::string container = app->path()->substr(0, app->path()->find_last_of('/'));
        auto db = ClearDatabase::open(ClearDatabase::pathInContainer(container), /*create=*/false);
        return db ? db->lists() : std::vector<std::string>{};
    }
    return std::nullopt;
}

bool printClearDatabases(SpringBoardSession& session, std::ostream& out, const char* verb) {
    const struct {
        const char* identifier;
        const char* name;
    } clears[] = {{"com.realmacsoftware.clear", "Clear"}, {"com.realmacsoftware.clear.universal", "Clear+"}};
    bool any = false;
    for (const auto& clear : clears) {
        auto app = session.services().registry()->applicationWithIdentifier(clear.identifier);
        if (!app || !app->path()) continue;
        any = true;
        const std::string container = app->path()->substr(0, app->path()->find_last_of('/'));
        auto db = ClearDatabase::open(ClearDatabase::pathInContainer(container), /*create=*/false);
        out << "\n" << clear.name << "'s database " << verb << " holds\n  lists:";
        // "(none)" as device show says it; the texts escaped, as they come from the device.
        std::vector<std::string> lists;
        std::vector<std::pair<std::string, std::string>> tasks;
        if (db) {
            lists = db->lists();
            tasks = db->tasks();
        }
        if (lists.empty()) out << " (none)";
        for (const auto& list : lists) out << " [" << printable(list) << "]";
        out << "\n  tasks:";
        if (tasks.empty()) out << " (none)";
        for (const auto& [list, task] : tasks) out << " [" << printable(task) << "] in [" << printable(list) << "]";
        out << "\n";
    }
    return any;
}

}  // namespace sim
