#include "FloorListRead.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include "NSString.h"

namespace bench {

// The database must be a regular file (SQLite would wait on a FIFO for
// ever); the connection is used by this thread alone, so it takes no mutex;
// a title that is no UTF-8 is no name Clear could be asked for. Less than
// that reads a different set of titles or can hang.
bool floorReadTitles(const std::string& databasePath, ListTitles& titles) {
    struct stat status {};
    if (::stat(databasePath.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
    sqlite3* db = nullptr;
    const bool opened =
        sqlite3_open_v2(databasePath.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) == SQLITE_OK;
    sqlite3_stmt* statement = nullptr;
    if (opened && sqlite3_prepare_v2(db, "select title from lists", -1, &statement, nullptr) == SQLITE_OK) {
        while (sqlite3_step(statement) == SQLITE_ROW) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
            if (text == nullptr) continue;
            const std::string_view title(text);
            if (!isValidUTF8(title)) continue;
            titles.bytes.append(title);
            titles.ends.push_back(static_cast<std::uint32_t>(titles.bytes.size()));
        }
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return opened;
}

}  // namespace bench
