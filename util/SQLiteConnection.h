#pragma once

#include <sqlite3.h>

#include <utility>

// One SQLite connection, closed when the handle goes. SQLite hands back a
// connection also when an open fails, and that one must be closed too, so
// the handle owns whatever the open returned.
class SQLiteConnection {
public:
    // Opens `path` read-only, never creating it, for use on one thread at a
    // time: SQLite then takes no lock of its own on each step and column
    // read, a cost paid on every title read for no gain when only one
    // thread ever uses the connection. Check ok() before use.
    static SQLiteConnection openReadOnly(const char* path) {
        return open(path, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX);
    }

    // Opens `path` with sqlite3_open_v2's `flags`. Check ok() before use.
    static SQLiteConnection open(const char* path, int flags) {
        SQLiteConnection connection;
        connection.opened_ = sqlite3_open_v2(path, &connection.db_, flags, nullptr) == SQLITE_OK;
        return connection;
    }

    SQLiteConnection(SQLiteConnection&& other) noexcept
        : db_(std::exchange(other.db_, nullptr)), opened_(std::exchange(other.opened_, false)) {}
    SQLiteConnection& operator=(SQLiteConnection&&) = delete;
    SQLiteConnection(const SQLiteConnection&) = delete;
    ~SQLiteConnection() { sqlite3_close(db_); }  // a null handle is a no-op

    // Runs every statement of `sql`; false at the first that fails (see
    // errorMessage).
    bool execute(const char* sql) const { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

    bool ok() const { return opened_; }
    sqlite3* get() const { return db_; }
    // Why the last call on this connection failed.
    const char* errorMessage() const { return db_ ? sqlite3_errmsg(db_) : "out of memory"; }

private:
    SQLiteConnection() = default;
    sqlite3* db_ = nullptr;
    bool opened_ = false;
};
