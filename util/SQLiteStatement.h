#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "SQLiteConnection.h"

// One prepared statement, finalized when the handle goes (before the
// connection it came from, as long as it is declared after it).
class SQLiteStatement {
public:
    // Prepares the whole of `sql` on `connection`. Check ok() before stepping.
    SQLiteStatement(const SQLiteConnection& connection, const char* sql) {
        if (connection.ok()) sqlite3_prepare_v2(connection.get(), sql, -1, &statement_, nullptr);
    }
    SQLiteStatement(const SQLiteStatement&) = delete;
    SQLiteStatement& operator=(const SQLiteStatement&) = delete;
    ~SQLiteStatement() { sqlite3_finalize(statement_); }  // a null statement is a no-op

    bool ok() const { return statement_ != nullptr; }
    // Steps once; true while there is a row. Any other result (the end, or an
    // error such as SQLITE_BUSY) is false, and nothing is retried.
    bool step() { return sqlite3_step(statement_) == SQLITE_ROW; }
    // Steps a statement that returns no rows; true when it ran to its end.
    bool run() { return sqlite3_step(statement_) == SQLITE_DONE; }
    // Binds `text` (copied) to parameter `index`, counted from 1.
    SQLiteStatement& bind(int index, std::string_view text) {
        sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        return *this;
    }
    // Binds `number` to parameter `index`, counted from 1.
    SQLiteStatement& bind(int index, std::int64_t number) {
        sqlite3_bind_int64(statement_, index, number);
        return *this;
    }
    // Makes the statement ready to step again from the start; bindings stay.
    void reset() { sqlite3_reset(statement_); }
    // Columns of each row the statement gives.
    int columns() const { return sqlite3_column_count(statement_); }
    // Column `column` of the current row, all its bytes; "" for NULL.
    std::string string(int column) const {
        const char* p = text(column);
        return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(statement_, column))) : std::string();
    }
    // Column `column` of the current row as UTF-8 text; nullptr for NULL.
    const char* text(int column) const {
        return reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
    }

private:
    sqlite3_stmt* statement_ = nullptr;
};
