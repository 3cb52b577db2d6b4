#include "ClearDatabase.h"

#include <sqlite3.h>

namespace sim {
namespace {

// A prepared statement that finalizes itself.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    explicit operator bool() const { return stmt_ != nullptr; }
    Statement& bind(int index, const std::string& text) {
        sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        return *this;
    }
    int step() { return sqlite3_step(stmt_); }
    std::string text(int column) {
        const unsigned char* p = sqlite3_column_text(stmt_, column);
        return p ? std::string(reinterpret_cast<const char*>(p), sqlite3_column_bytes(stmt_, column)) : std::string();
    }

private:
    sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace

std::string ClearDatabase::pathInContainer(const std::string& containerDirectory) {
    return containerDirectory + "/Library/Application Support/com.realmacsoftware.clear/BackendTasks.sqlite";
}

std::unique_ptr<ClearDatabase> ClearDatabase::open(const std::string& path, bool create, std::string* error) {
    sqlite3* db = nullptr;
    int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        if (error) *error = std::string("cannot open ") + path + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
        sqlite3_close(db);
        return nullptr;
    }
    // Clear itself may be reading while the widget reads; wait a little for locks.
    sqlite3_busy_timeout(db, 2000);
    const char* schema =
        "CREATE TABLE IF NOT EXISTS lists (id INTEGER PRIMARY KEY AUTOINCREMENT, title TEXT NOT NULL);"
        "CREATE TABLE IF NOT EXISTS tasks (id INTEGER PRIMARY KEY AUTOINCREMENT, list TEXT NOT NULL,"
        " title TEXT NOT NULL);";
    char* message = nullptr;
    if (sqlite3_exec(db, schema, nullptr, nullptr, &message) != SQLITE_OK) {
        if (error) *error = std::string("cannot set up ") + path + ": " + (message ? message : "?");
        sqlite3_free(message);
        sqlite3_close(db);
        return nullptr;
    }
    return std::unique_ptr<ClearDatabase>(new ClearDatabase(db));
}

ClearDatabase::~ClearDatabase() { sqlite3_close(db_); }

bool ClearDatabase::addList(const std::string& title) {
    Statement s(db_, "INSERT INTO lists (title) VALUES (?)");
    return s && s.bind(1, title).step() == SQLITE_DONE;
}

bool ClearDatabase::hasList(const std::string& title) {
    Statement s(db_, "SELECT 1 FROM lists WHERE title = ? LIMIT 1");
    return s && s.bind(1, title).step() == SQLITE_ROW;
}

bool ClearDatabase::addTask(const std::string& listTitle, const std::string& text) {
    Statement s(db_, "INSERT INTO tasks (list, title) VALUES (?, ?)");
    return s && s.bind(1, listTitle).bind(2, text).step() == SQLITE_DONE;
}

std::vector<std::string> ClearDatabase::lists() {
    std::vector<std::string> out;
    Statement s(db_, "SELECT title FROM lists ORDER BY id");
    while (s && s.step() == SQLITE_ROW) out.push_back(s.text(0));
    return out;
}

std::vector<std::pair<std::string, std::string>> ClearDatabase::tasks() {
    std::vector<std::pair<std::string, std::string>> out;
    Statement s(db_, "SELECT list, title FROM tasks ORDER BY id");
    while (s && s.step() == SQLITE_ROW) out.emplace_back(s.text(0), s.text(1));
    return out;
}

}  // namespace sim
