#pragma once

#include <sqlite3.h>

#include <utility>

// One SQLite connection, closed when the handle goes. SQLite hands back a
// connection also when an open fails, and that one must be closed too, so
// the handle owns whatever the open returned.
class SQLiteConnection {
public:
    // Opens `path` read-only, never creating it. Check ok() before use.
    static SQLiteConnection openReadOnly(const char* path) {
        SQLiteConnection connection;
        connection.opened_ = sqlite3_open_v2(path, &connection.db_, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK;
        return connection;
    }

    SQLiteConnection(SQLiteConnection&& other) noexcept
        : db_(std::exchange(other.db_, nullptr)), opened_(std::exchange(other.opened_, false)) {}
    SQLiteConnection& operator=(SQLiteConnection&&) = delete;
    SQLiteConnection(const SQLiteConnection&) = delete;
    ~SQLiteConnection() { sqlite3_close(db_); }  // a null handle is a no-op

    bool ok() const { return opened_; }
    sqlite3* get() const { return db_; }

private:
    SQLiteConnection() = default;
    sqlite3* db_ = nullptr;
    bool opened_ = false;
};
