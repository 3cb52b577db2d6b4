#include "ClearDatabase.h"

#include <sqlite3.h>

#include "SQLiteStatement.h"

namespace sim {
namespace {

bool skipsSync = false;

}  // namespace

void ClearDatabase::setSkipsSync(bool skip) { skipsSync = skip; }

std::string ClearDatabase::pathInContainer(const std::string& containerDirectory) {
    return containerDirectory + "/Library/Application Support/com.realmacsoftware.clear/BackendTasks.sqlite";
}

std::unique_ptr<ClearDatabase> ClearDatabase::open(const std::string& path, bool create, std::string* error) {
    auto connection = SQLiteConnection::open(path.c_str(), SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0));
    if (!connection.ok()) {
        if (error) *error = "cannot open " + path + ": " + connection.errorMessage();
        return nullptr;
    }
    // Clear itself may be reading while the widget reads; wait a little for locks.
    sqlite3_busy_timeout(connection.get(), 2000);
    if (skipsSync) sqlite3_exec(connection.get(), "PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
    const char* schema =
        "CREATE TABLE IF NOT EXISTS lists (id INTEGER PRIMARY KEY AUTOINCREMENT, title TEXT NOT NULL);"
        "CREATE TABLE IF NOT EXISTS tasks (id INTEGER PRIMARY KEY AUTOINCREMENT, list TEXT NOT NULL,"
        " title TEXT NOT NULL);";
    if (sqlite3_exec(connection.get(), schema, nullptr, nullptr, nullptr) != SQLITE_OK) {
        if (error) *error = "cannot set up " + path + ": " + connection.errorMessage();
        return nullptr;
    }
    return std::unique_ptr<ClearDatabase>(new ClearDatabase(std::move(connection)));
}

bool ClearDatabase::addList(const std::string& title) {
    SQLiteStatement s(connection_, "INSERT INTO lists (title) VALUES (?)");
    return s.ok() && s.bind(1, title).run();
}

bool ClearDatabase::hasList(const std::string& title) {
    SQLiteStatement s(connection_, "SELECT 1 FROM lists WHERE title = ? LIMIT 1");
    return s.ok() && s.bind(1, title).step();
}

bool ClearDatabase::addTask(const std::string& listTitle, const std::string& text) {
    SQLiteStatement s(connection_, "INSERT INTO tasks (list, title) VALUES (?, ?)");
    return s.ok() && s.bind(1, listTitle).bind(2, text).run();
}

std::vector<std::string> ClearDatabase::lists() {
    std::vector<std::string> out;
    SQLiteStatement s(connection_, "SELECT title FROM lists ORDER BY id");
    while (s.ok() && s.step()) out.push_back(s.string(0));
    return out;
}

std::vector<std::pair<std::string, std::string>> ClearDatabase::tasks() {
    std::vector<std::pair<std::string, std::string>> out;
    SQLiteStatement s(connection_, "SELECT list, title FROM tasks ORDER BY id");
    while (s.ok() && s.step()) out.emplace_back(s.string(0), s.string(1));
    return out;
}

}  // namespace sim
