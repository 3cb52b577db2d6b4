// Reading Clear's task database while Clear (a child process here) writes it
// in transactions, and after Clear died in the middle of one. The reader
// never fails loudly and never sees a half-made change: every answer is
// empty (database busy), a whole committed state, or a prefix of one.

#include <gtest/gtest.h>

#include <signal.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "FaultSupport.h"
#include "LogCapture.h"
#include "Platform.h"
#include "SQLiteConnection.h"
#include "TempDirectory.h"
#include "VLDynamicReader.h"

namespace {

constexpr int kInitialLists = 200;

bool exec(const SQLiteConnection& db, const std::string& sql) { return db.execute(sql.c_str()); }

// Every committed state: generation G has kInitialLists + G rows, row r
// titled "G<G>-<r>". A transaction bumps the generation of every title and
// adds one row.
void makeDatabase(const std::string& path, const std::string& journalMode) {
    const auto db = SQLiteConnection::open(path.c_str(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    ASSERT_TRUE(db.ok());
    ASSERT_TRUE(exec(db, "pragma journal_mode=" + journalMode));
    ASSERT_TRUE(exec(db, "create table lists (id integer primary key, title text)"));
    ASSERT_TRUE(exec(db, "begin"));
    for (int r = 1; r <= kInitialLists; ++r)
        ASSERT_TRUE(exec(db, "insert into lists (id, title) values (" + std::to_string(r) + ", 'G0-" +
                                 std::to_string(r) + "')"));
    ASSERT_TRUE(exec(db, "commit"));
}

// Clear: commits generation after generation until killed. Waits for readers
// rather than failing, as an app with a busy timeout does.
[[noreturn]] void writeForever(const std::string& path) {
    const auto db = SQLiteConnection::open(path.c_str(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (!db.ok()) ::_exit(3);
    sqlite3_busy_timeout(db.get(), 5000);
    for (long generation = 1;; ++generation) {
        const std::string g = std::to_string(generation);
        if (!exec(db, "begin immediate")) continue;
        exec(db, "insert into lists (title) values ('new')");
        exec(db, "update lists set title = 'G" + g + "-' || id");
        if (!exec(db, "commit")) {
            exec(db, "rollback");
            --generation;
        }
    }
}

// Empty, or the first rows of one committed generation.
::testing::AssertionResult isPrefixOfCommittedState(const Array& read) {
    std::vector<std::string> titles;
    for (const Value& title : read) titles.push_back(title.stringValue().value_or("(not a string)"));
    if (titles.empty()) return ::testing::AssertionSuccess();
    const std::string& first = titles.front();
    const auto dash = first.find('-');
    if (first.size() < 4 || first[0] != 'G' || dash == std::string::npos)
        return ::testing::AssertionFailure() << "unexpected title " << first;
    const std::string generation = first.substr(0, dash + 1);
    const std::size_t rows = kInitialLists + std::stoul(first.substr(1, dash - 1));
    if (titles.size() > rows)
        return ::testing::AssertionFailure() << titles.size() << " rows for a state with " << rows;
    for (std::size_t r = 0; r < titles.size(); ++r) {
        if (titles[r] != generation + std::to_string(r + 1))
            return ::testing::AssertionFailure() << "row " << r + 1 << " is " << titles[r] << " in a read of "
                                                 << generation << " titles";
    }
    return ::testing::AssertionSuccess();
}

class ConcurrentDatabaseReadTest : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        path_ = (temp_.make("Library/Application Support/com.realmacsoftware.clear") / "BackendTasks.sqlite").string();
        makeDatabase(path_, GetParam());
    }

    TempDirectory temp_;
    std::string path_;
    LogCapture log_;
};

TEST_P(ConcurrentDatabaseReadTest, ReaderSeesWholeStatesWhileClearWrites) {
    const pid_t writer = faults::forkChild([this]() -> int { writeForever(path_); });
    ASSERT_GT(writer, 0);
    // A failed assertion returns early: the writer must not outlive the
    // test, or it writes for ever and holds ctest's output pipe open.
    struct StopWriter {
        pid_t pid;
        ~StopWriter() {
            if (pid > 0 && ::kill(pid, SIGKILL) == 0) faults::waitChild(pid);
        }
    } stopWriter{writer};

    auto reader = VLDynamicReader::initWithPath(std::nullopt);
    int reads = 0, complete = 0;
    std::size_t largest = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    while (std::chrono::steady_clock::now() < until || complete == 0) {
        const auto titles = reader->parsedSQLiteListNamesForPath(path_);
        ASSERT_TRUE(isPrefixOfCommittedState(titles)) << "read " << reads;
        ++reads;
        if (!titles.empty()) ++complete;
        largest = std::max(largest, titles.size());
        if (reads > 200000) break;
    }
    ::kill(writer, SIGKILL);
    faults::waitChild(writer);
    stopWriter.pid = 0;

    EXPECT_GT(complete, 0) << "no read got through in " << reads << " tries";
    // The writer really committed while we read.
    EXPECT_GT(largest, static_cast<std::size_t>(kInitialLists));

    // Clear killed, possibly in the middle of a transaction (a hot journal
    // left behind, which a read-only reader may not roll back): still only
    // empty or a committed state.
    EXPECT_TRUE(isPrefixOfCommittedState(reader->parsedSQLiteListNamesForPath(path_)));
    const auto logged = log_.lines();
    EXPECT_TRUE(logged.empty()) << logged.front();
}

INSTANTIATE_TEST_SUITE_P(JournalModes, ConcurrentDatabaseReadTest, ::testing::Values("delete", "wal"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
