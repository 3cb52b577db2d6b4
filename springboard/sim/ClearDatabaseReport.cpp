#include "ClearDatabaseReport.h"

#include "ClearDatabase.h"

namespace sim {

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
        if (db) {
            for (const auto& list : db->lists()) out << " [" << list << "]";
        }
        out << "\n  tasks:";
        if (db) {
            for (const auto& [list, task] : db->tasks()) out << " [" << task << "] in [" << list << "]";
        }
        out << "\n";
    }
    return any;
}

}  // namespace sim
