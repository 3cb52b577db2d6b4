#include <gtest/gtest.h>

#include "ReaderTestSupport.h"
#include "VLDynamicReader.h"

using namespace readertest;
using Names = std::vector<std::string>;

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

    sqlite3* clear = nullptr;
    ASSERT_EQ(sqlite3_open(db.c_str(), &clear), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(clear, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(reader->parsedSQLiteListNamesForPath(db.string()), Names{});
    ASSERT_EQ(sqlite3_exec(clear, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(clear);

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
        for (const auto& title : titles) sql += "insert into lists values ('" + title + "');";
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

}  // namespace
