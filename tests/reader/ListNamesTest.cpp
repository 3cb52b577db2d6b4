#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <future>

#include "ReaderTestSupport.h"
#include "VLDynamicReader.h"

using namespace readertest;
using Names = Array;

static void PrintTo(const Value& value, std::ostream* os) { *os << value.description(); }

namespace {

const char* const kDatabaseBesideBundle = "Library/Application Support/com.realmacsoftware.clear/BackendTasks.sqlite";

// --- What is read from a database -------------------------------------------

struct TitlesCase {
    const char* name;
    std::string sql;  // run on a fresh database
    Names expected;
};

void PrintTo(const TitlesCase& c, std::ostream* os) { *os << c.name; }

class ReadsTitles : public testing::TestWithParam<TitlesCase> {};

TEST_P(ReadsTitles, FromTableLists) {
    TempDir dir;
    const fs::path db = dir.path() / "BackendTasks.sqlite";
    makeDatabase(db, GetParam().sql);

    EXPECT_EQ(VLDynamicReader::initWithPath(std::nullopt)->parsedSQLiteListNamesForPath(db.string()),
              GetParam().expected);
}

// Untyped column: numbers stay numbers in the file and are read as text.
const std::string kTable = "create table lists (title);";

INSTANTIATE_TEST_SUITE_P(
    Databases, ReadsTitles,
    testing::Values(
        TitlesCase{"InStoredOrderWithDuplicates", kTable + "insert into lists values ('A'),('B'),('A');",
                   {"A", "B", "A"}},
        TitlesCase{"NoRows", kTable, {}},
        TitlesCase{"EmptyTitle", kTable + "insert into lists values (''),('x');", {"", "x"}},
        TitlesCase{"NumbersAsText", kTable + "insert into lists values (42),(2.5),(-7);", {"42", "2.5", "-7"}},
        TitlesCase{"NonAsciiUtf8", kTable + "insert into lists values ('Café ☕'),('日本語'),('𝄞 clef');",
                   {"Café ☕", "日本語", "𝄞 clef"}},
        TitlesCase{"NullAndInvalidUtf8Skipped",
                   kTable +
                       "insert into lists values ('first'),(NULL),(CAST(x'C328' AS TEXT)),"
                       "(CAST(x'C0AF' AS TEXT)),(CAST(x'EDA080' AS TEXT)),(CAST(x'F4908080' AS TEXT)),"
                       "(CAST(x'E282' AS TEXT)),('last');",
                   {"first", "last"}},
        TitlesCase{"TextStopsAtNul", kTable + "insert into lists values (CAST(x'61006263' AS TEXT));", {"a"}},
        TitlesCase{"OtherColumnsAndTablesIgnored",
                   "create table lists (Z_PK integer primary key, title text, colour integer);"
                   "create table tasks (title text);"
                   "insert into tasks values ('not a list');"
                   "insert into lists (title, colour) values ('Home', 3),('Work', 1);",
                   {"Home", "Work"}},
        TitlesCase{"NoListsTable", "create table tasks (title text); insert into tasks values ('T');", {}},
        TitlesCase{"NoTitleColumn", "create table lists (name text); insert into lists values ('N');", {}}),
    [](const testing::TestParamInfo<TitlesCase>& info) { return std::string(info.param.name); });

TEST(ListNames, ReadsADatabaseMadeByTheSqliteTool) {
    TempDir dir;
    const fs::path db = dir.path() / "made by cli.sqlite";
    const std::string command = "sqlite3 '" + db.string() +
                                "' \"create table lists (title text); "
                                "insert into lists values ('Groceries'),('Ideas'),('Groceries');\"";
    ASSERT_EQ(std::system(command.c_str()), 0);

    EXPECT_EQ(VLDynamicReader::initWithPath(std::nullopt)->parsedSQLiteListNamesForPath(db.string()),
              (Names{"Groceries", "Ideas", "Groceries"}));
}

TEST(ListNames, FilesThatAreNoReadableDatabaseGiveNothingAndStayUntouched) {
    TempDir dir;
    auto reader = VLDynamicReader::initWithPath(std::nullopt);

    EXPECT_EQ(reader->parsedSQLiteListNamesForPath(std::nullopt), Names{});

    const fs::path missing = dir.path() / "missing.sqlite";
    EXPECT_EQ(reader->parsedSQLiteListNamesForPath(missing.string()), Names{});
    EXPECT_FALSE(fs::exists(missing)) << "a read must not create Clear's database";

    const fs::path text = dir.path() / "text.sqlite";
    writeFile(text, "this is not a database, just some text long enough to fill a header......");
    EXPECT_EQ(reader->parsedSQLiteListNamesForPath(text.string()), Names{});
    EXPECT_EQ(readFile(text), "this is not a database, just some text long enough to fill a header......");

    const fs::path empty = dir.path() / "empty.sqlite";
    writeFile(empty, "");
    EXPECT_EQ(reader->parsedSQLiteListNamesForPath(empty.string()), Names{});
    EXPECT_EQ(fs::file_size(empty), 0u);

    EXPECT_EQ(reader->parsedSQLiteListNamesForPath(dir.path().string()), Names{});
    EXPECT_EQ(directoryEntries(dir.path()), (std::vector<std::string>{"empty.sqlite", "text.sqlite"}));
}

// Clear holding a write lock: the read gives up at once, empty, no wait.
TEST(ListNames, ExclusivelyLockedDatabaseGivesNothingWithoutWaiting) {
    TempDir dir;
    const fs::path db = dir.path() / "BackendTasks.sqlite";
    makeDatabase(db, kTable + "insert into lists values ('A');");
    auto reader = VLDynamicReader::initWithPath(std::nullopt);

    {
        const auto clear = SQLiteConnection::open(db.c_str(), SQLITE_OPEN_READWRITE);
        ASSERT_TRUE(clear.ok());
        ASSERT_TRUE(clear.execute("BEGIN EXCLUSIVE"));
        EXPECT_EQ(reader->parsedSQLiteListNamesForPath(db.string()), Names{});
        ASSERT_TRUE(clear.execute("COMMIT"));
    }

    EXPECT_EQ(reader->parsedSQLiteListNamesForPath(db.string()), Names{"A"});
}

TEST(ListNames, ReadsLeaveClearsDatabaseAsItWas) {
    TempDir dir;
    const fs::path db = dir.path() / "BackendTasks.sqlite";
    makeDatabase(db, kTable + "insert into lists values ('A'),('B');");
    const std::string before = readFile(db);
    auto reader = VLDynamicReader::initWithPath(std::nullopt);

    for (int i = 0; i < 20; ++i) ASSERT_EQ(reader->parsedSQLiteListNamesForPath(db.string()), (Names{"A", "B"}));

    EXPECT_EQ(readFile(db), before);
    EXPECT_EQ(directoryEntries(dir.path()), std::vector<std::string>{"BackendTasks.sqlite"});
}

TEST(ListNames, NoConnectionStaysOpenAfterManyCalls) {
    TempDir dir;
    const fs::path db = dir.path() / "BackendTasks.sqlite";
    const fs::path noTable = dir.path() / "NoTable.sqlite";
    makeDatabase(db, kTable + "insert into lists values ('A');");
    makeDatabase(noTable, "create table other (x);");
    writeFile(dir.path() / "junk", std::string(4096, 'j'));
    auto reader = VLDynamicReader::initWithPath(std::nullopt);

    const std::size_t before = openFileDescriptorCount();
    for (int i = 0; i < 100; ++i) {
        reader->parsedSQLiteListNamesForPath(db.string());
        reader->parsedSQLiteListNamesForPath(noTable.string());
        reader->parsedSQLiteListNamesForPath((dir.path() / "junk").string());
        reader->parsedSQLiteListNamesForPath((dir.path() / "missing").string());
    }
    EXPECT_EQ(openFileDescriptorCount(), before);
}

// --- Finding the database from the bundle path ------------------------------

class ListsFromDatabase : public testing::Test {
protected:
    // A bundle directory at `bundle` and a database with `titles` at `database`.
    void install(const std::string& bundle, const std::string& database, const Names& titles) {
        fs::create_directories(dir / bundle);
        std::string sql = kTable;
        for (const auto& title : titles) sql += "insert into lists values ('" + title.description() + "');";
        makeDatabase(dir / database, sql);
    }
    Names listsAt(const std::optional<std::string>& bundle) {
        return VLDynamicReader::initWithPath(bundle ? std::optional<std::string>(dir / *bundle) : std::nullopt)
            ->listsFromDatabase();
    }

    TempDir dir;
};

TEST_F(ListsFromDatabase, ReadsTheDatabaseBesideClearApp) {
    install("apps/c1/Clear.app", std::string("apps/c1/") + kDatabaseBesideBundle, {"Home", "Work"});

    EXPECT_EQ(listsAt("apps/c1/Clear.app"), (Names{"Home", "Work"}));
    EXPECT_EQ(listsAt("apps/c1/Clear.app/"), (Names{"Home", "Work"}));
}

TEST_F(ListsFromDatabase, ReplacesEveryOccurrenceOfClearApp) {
    // "<dir>/Clear.app/c/Clear.app" becomes
    // "<dir>/<db path>/c/<db path>": the database lies under a directory
    // that carries the database's own name.
    install("Clear.app/c/Clear.app", std::string(kDatabaseBesideBundle) + "/c/" + kDatabaseBesideBundle, {"Twice"});

    EXPECT_EQ(listsAt("Clear.app/c/Clear.app"), Names{"Twice"});
}

TEST_F(ListsFromDatabase, GivesNothingWithoutAClearBundle) {
    install("apps/c2/Other.app", std::string("apps/c2/") + kDatabaseBesideBundle, {"Hidden"});
    install("apps/c3/clear.app", std::string("apps/c3/") + kDatabaseBesideBundle, {"Hidden"});
    writeFile(dir / "apps/c4/Clear.app", "a file, not a bundle directory");
    makeDatabase(dir / (std::string("apps/c4/") + kDatabaseBesideBundle), kTable + "insert into lists values ('H');");
    fs::create_directories(dir / "apps/c5/Clear.app");  // a bundle, but no database beside it

    EXPECT_EQ(listsAt(std::nullopt), Names{});
    EXPECT_EQ(VLDynamicReader::initWithPath("")->listsFromDatabase(), Names{});
    EXPECT_EQ(listsAt("apps/c2/Other.app"), Names{});
    EXPECT_EQ(listsAt("apps/c3/clear.app"), Names{});
    EXPECT_EQ(listsAt("apps/c4/Clear.app"), Names{});
    EXPECT_EQ(listsAt("apps/c9/Clear.app"), Names{});
    EXPECT_EQ(listsAt("apps/c5/Clear.app"), Names{});
    EXPECT_FALSE(fs::exists(dir / (std::string("apps/c5/") + kDatabaseBesideBundle)));
}

TEST_F(ListsFromDatabase, SeesChangesMadeBetweenCalls) {
    install("Clear.app", kDatabaseBesideBundle, {"One"});
    auto reader = VLDynamicReader::initWithPath(dir / "Clear.app");
    EXPECT_EQ(reader->listsFromDatabase(), Names{"One"});

    makeDatabase(dir / kDatabaseBesideBundle, "insert into lists values ('Two');");
    EXPECT_EQ(reader->listsFromDatabase(), (Names{"One", "Two"}));
}

// --- Files that are no database in the database's place ----------------------

// Puts something other than a regular file at `path`; returns a descriptor to
// keep open while it is read (a bound socket), or -1.
using MakeNonRegularFile = std::function<int(const fs::path& path)>;

struct NonRegularCase {
    const char* kind;
    MakeNonRegularFile make;
};

int makeFifo(const fs::path& path) {
    if (::mkfifo(path.c_str(), 0600) != 0) throw std::runtime_error("mkfifo failed");
    return -1;
}

int makeSocket(const fs::path& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.string().size() >= sizeof address.sun_path) throw std::runtime_error("socket path too long");
    std::strcpy(address.sun_path, path.c_str());
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 1) != 0)
        throw std::runtime_error("cannot bind a socket");
    return fd;
}

const NonRegularCase kNonRegularFiles[] = {
    {"fifo", makeFifo},
    {"socket", makeSocket},
    {"directory", [](const fs::path& path) { fs::create_directory(path); return -1; }},
    {"character device", [](const fs::path& path) { fs::create_symlink("/dev/zero", path); return -1; }},
    {"symlink to a fifo",
     [](const fs::path& path) {
         makeFifo(path.string() + ".fifo");
         fs::create_symlink(path.string() + ".fifo", path);
         return -1;
     }},
};

// A FIFO must not be opened at all: an open for reading would wait for a
// writer for ever. Each read runs on its own thread with a deadline; should it
// block, a writer is let in so the test ends with a failure, not a hang.
TEST(ListNames, NonRegularFileInTheDatabasesPlaceGivesNothingAtOnce) {
    for (const NonRegularCase& c : kNonRegularFiles) {
        SCOPED_TRACE(c.kind);
        TempDir dir;
        fs::create_directories(dir / "Clear.app");
        const fs::path database = dir.path() / kDatabaseBesideBundle;
        fs::create_directories(database.parent_path());
        const int keep = c.make(database);
        const auto before = directoryEntries(database.parent_path());

        auto read = std::async(std::launch::async,
                               [&] { return VLDynamicReader::initWithPath(dir / "Clear.app")->listsFromDatabase(); });
        const bool answered = read.wait_for(std::chrono::seconds(3)) == std::future_status::ready;
        EXPECT_TRUE(answered) << "the read blocked";
        if (!answered) {
            const int writer = ::open(database.c_str(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0) ::close(writer);
        }
        EXPECT_EQ(read.get(), Names{});
        EXPECT_EQ(directoryEntries(database.parent_path()), before) << "nothing was created beside it";
        if (keep >= 0) ::close(keep);
    }
}

// The same check lets a link to a real database through.
TEST(ListNames, SymlinkToADatabaseIsRead) {
    TempDir dir;
    fs::create_directories(dir / "Clear.app");
    const fs::path database = dir.path() / kDatabaseBesideBundle;
    makeDatabase(dir.path() / "elsewhere.sqlite", kTable + "insert into lists values ('Linked');");
    fs::create_directories(database.parent_path());
    fs::create_symlink(dir.path() / "elsewhere.sqlite", database);
    EXPECT_EQ(VLDynamicReader::initWithPath(dir / "Clear.app")->listsFromDatabase(), Names{"Linked"});
}

}  // namespace
