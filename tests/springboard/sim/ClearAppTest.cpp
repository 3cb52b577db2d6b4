#include <gtest/gtest.h>

#include <filesystem>

#include <unistd.h>

#include "ClearApp.h"
#include "ClearDatabase.h"

namespace fs = std::filesystem;

namespace {

class ClearAppTest : public testing::Test {
protected:
    void SetUp() override {
        container_ = fs::temp_directory_path() / ("clearapp-" + std::to_string(::getpid()) + "-" +
                                                  testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(container_);
        fs::create_directories(fs::path(sim::ClearDatabase::pathInContainer(container_.string())).parent_path());
        auto db = sim::ClearDatabase::open(sim::ClearDatabase::pathInContainer(container_.string()), true);
        ASSERT_TRUE(db);
        ASSERT_TRUE(db->addList("Groceries"));
        ASSERT_TRUE(db->addList("Bread & Butter"));
    }
    void TearDown() override { fs::remove_all(container_); }

    std::unique_ptr<sim::ClearDatabase> db() {
        return sim::ClearDatabase::open(sim::ClearDatabase::pathInContainer(container_.string()), false);
    }

    fs::path container_;
};

TEST(ClearURL, QueryIsDecodedLikeAnApp) {
    struct Case {
        const char* url;
        const char* action;
        std::optional<std::string> list;
        std::optional<std::string> task;
    };
    const Case cases[] = {
        {"clearapp://task/create?listName=Groceries&taskName=Milk", "task/create", "Groceries", "Milk"},
        {"clearapp://list/create?listName=Caf%C3%A9%20%E2%98%95", "list/create", "Café ☕", std::nullopt},
        {"clearapp://list/create?listName=", "list/create", "", std::nullopt},
        {"clearapp://task/create?listName=A+B&taskName=C%2BD", "task/create", "A B", "C+D"},
        // An unescaped "&" ends the value: what follows is another parameter.
        {"clearapp://task/create?listName=Bread%20&%20Butter&taskName=x", "task/create", "Bread ", "x"},
        {"clearapp://task/create?listName=Bread%20%26%20Butter&taskName=x", "task/create", "Bread & Butter", "x"},
        {"clearapp://task/create?taskName=x&listName=L&listName=M", "task/create", "L", "x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        auto request = sim::parseClearURL(c.url);
        ASSERT_TRUE(request);
        EXPECT_EQ(request->scheme, "clearapp");
        EXPECT_EQ(request->action, c.action);
        EXPECT_EQ(request->listName, c.list);
        EXPECT_EQ(request->taskName, c.task);
    }
    EXPECT_FALSE(sim::parseClearURL("clearapp://task/create?listName=a b"));
}

TEST_F(ClearAppTest, CreatesListsAndTasks) {
    sim::ClearApp clear("com.realmacsoftware.clear", container_.string());
    auto list = clear.openURL("clearapp://list/create?listName=Caf%C3%A9");
    EXPECT_EQ(list.action, "list/create");
    EXPECT_EQ(list.result, "created");
    EXPECT_FALSE(list.task);

    auto task = clear.openURL("clearapp://task/create?listName=Caf%C3%A9&taskName=Espresso%20x2");
    EXPECT_EQ(task.result, "created");
    EXPECT_EQ(task.list, "Café");
    EXPECT_EQ(task.task, "Espresso x2");

    auto stored = db();
    EXPECT_EQ(stored->lists(), (std::vector<std::string>{"Groceries", "Bread & Butter", "Café"}));
    EXPECT_EQ(stored->tasks(), (std::vector<std::pair<std::string, std::string>>{{"Café", "Espresso x2"}}));
}

TEST_F(ClearAppTest, RefusesWhatItCannotDo) {
    sim::ClearApp clear("com.realmacsoftware.clear", container_.string());
    struct Case {
        const char* url;
        const char* result;
    };
    const Case cases[] = {
        {"clearapp://task/create?listName=Nope&taskName=x", "no such list"},
        {"clearapp://task/create?listName=Bread%20&%20Butter&taskName=x", "no such list"},
        {"clearapp://task/create?listName=Groceries&taskName=", "no task text"},
        {"clearapp://task/create?listName=Groceries", "no task text"},
        {"clearapp://list/create?listName=", "no list name"},
        {"clearapp://list/delete?listName=Groceries", "unknown action"},
        {"http://list/create?listName=X", "not a clearapp URL"},
        {"clear app://x", "unreadable URL"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(clear.openURL(c.url).result, c.result);
    }
    auto stored = db();
    EXPECT_EQ(stored->lists(), (std::vector<std::string>{"Groceries", "Bread & Butter"}));
    EXPECT_TRUE(stored->tasks().empty());
}

TEST_F(ClearAppTest, ListNameWithAmpersandArrivesWhenEscaped) {
    sim::ClearApp clear("com.realmacsoftware.clear", container_.string());
    auto task = clear.openURL("clearapp://task/create?listName=Bread%20%26%20Butter&taskName=Jam%20%26%20toast");
    EXPECT_EQ(task.result, "created");
    EXPECT_EQ(db()->tasks(), (std::vector<std::pair<std::string, std::string>>{{"Bread & Butter", "Jam & toast"}}));
}

}  // namespace
