// Submitting the form and confirming a new list hand the request to Clear.

#include <uriparser/Uri.h>

#include "WidgetTestSupport.h"

namespace widgettest {
namespace {

// The query of `url` decoded by uriparser: name to value.
std::map<std::string, std::string> decodedQuery(const std::string& url) {
    std::map<std::string, std::string> query;
    UriUriA uri;
    const char* errorPos = nullptr;
    if (uriParseSingleUriA(&uri, url.c_str(), &errorPos) != URI_SUCCESS) {
        ADD_FAILURE() << "uriparser rejects " << url;
        return query;
    }
    UriQueryListA* items = nullptr;
    int count = 0;
    if (uri.query.first &&
        uriDissectQueryMallocA(&items, &count, uri.query.first, uri.query.afterLast) == URI_SUCCESS) {
        for (auto* item = items; item; item = item->next) query[item->key] = item->value ? item->value : "";
        uriFreeQueryListA(items);
    }
    uriFreeUriMembersA(&uri);
    return query;
}

class HandOffTest : public WidgetTest {
protected:
    // Opens the widget on Clear holding `lists`, picks `list` (by position),
    // types `task` and submits. Returns the URL opened.
    std::optional<std::string> submitTask(const std::vector<std::string>& lists, std::size_t list,
                                          const std::string& task) {
        installClear(lists);
        open();
        EXPECT_TRUE(host.userSelect("list", list).ok());
        EXPECT_TRUE(host.userSetText("task", task).ok());
        events.clear();
        EXPECT_TRUE(host.userSubmit().ok());
        EXPECT_EQ(application->openedURLs.size(), 1u);
        return application->openedURLs.empty() ? std::nullopt : application->openedURLs.back();
    }

    // Opens the widget, picks "Create List..." and confirms `name`.
    std::optional<std::string> createList(const std::string& name) {
        installClear({"Inbox"});
        open();
        EXPECT_TRUE(host.userSelectTitle("list", "Create List...").ok());
        events.clear();
        EXPECT_TRUE(host.answerPrompt(name).ok());
        EXPECT_EQ(application->openedURLs.size(), 1u);
        return application->openedURLs.empty() ? std::nullopt : application->openedURLs.back();
    }
};

struct TaskCase {
    std::string list;
    std::string task;
    std::string url;
};

TEST_F(HandOffTest, TaskURLsEscapeEachValueAsAQueryValue) {
    const TaskCase cases[] = {
        {"Inbox", "Milk", "clearapp://task/create?listName=Inbox&taskName=Milk"},
        {"Home 2", "buy milk", "clearapp://task/create?listName=Home%202&taskName=buy%20milk"},
        {"Caf\xc3\xa9", "\xe2\x82\xac" "5", "clearapp://task/create?listName=Caf%C3%A9&taskName=%E2%82%AC5"},
        {"A&B=C", "x?y#z", "clearapp://task/create?listName=A%26B%3DC&taskName=x%3Fy%23z"},
        {"1+1 %", "a/b", "clearapp://task/create?listName=1%2B1%20%25&taskName=a%2Fb"},
        {"-._~", "", "clearapp://task/create?listName=-._~&taskName="},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.list + " / " + c.task);
        TearDown();
        SetUp();
        EXPECT_EQ(submitTask({"Other", c.list}, 1, c.task), c.url);
    }
}

TEST_F(HandOffTest, EveryDelimiterInAValueDecodesBackToTheOriginal) {
    const std::string awkward[] = {"&", "=", "?", "#", "+", "%", "/", "a&taskName=b", "%20", "Caf\xc3\xa9 & Co"};
    for (const auto& text : awkward) {
        SCOPED_TRACE(text);
        TearDown();
        SetUp();
        const auto url = submitTask({"list " + text}, 0, "task " + text);
        ASSERT_TRUE(url.has_value());
        const auto query = decodedQuery(*url);
        EXPECT_EQ(query.size(), 2u);
        EXPECT_EQ(query.at("listName"), "list " + text);
        EXPECT_EQ(query.at("taskName"), "task " + text);
    }
}

TEST_F(HandOffTest, EmptyListNameAndEmptyTaskGoAsTheyCome) {
    EXPECT_EQ(submitTask({""}, 0, ""), "clearapp://task/create?listName=&taskName=");
}

TEST_F(HandOffTest, NewListURLs) {
    const std::pair<std::string, std::string> cases[] = {
        {"Groceries", "clearapp://list/create?listName=Groceries"},
        {"", "clearapp://list/create?listName="},
        {" Work & Play ", "clearapp://list/create?listName=%20Work%20%26%20Play%20"},
    };
    for (const auto& [name, url] : cases) {
        SCOPED_TRACE(name);
        TearDown();
        SetUp();
        const auto opened = createList(name);
        EXPECT_EQ(opened, url);
        ASSERT_TRUE(opened.has_value());
        EXPECT_EQ(decodedQuery(*opened).at("listName"), name);
    }
}

TEST_F(HandOffTest, TaskHandOffRunsInOrderAndLogsExactly) {
    bringToFront("com.apple.mobilesafari");
    const auto url = submitTask({"Inbox"}, 0, "Milk");
    const Dictionary values{{"list", Value(Array{Value("Inbox")})}, {"task", Value("Milk")}};
    const std::vector<std::string> expected = {
        "call dismiss",
        "log [Velmora]Creating task with values [" + describe(values) +
            "] using URL-scheme [clearapp://task/create?listName=Inbox&taskName=Milk]...",
        "log [Velmora]Opening app...",
        "openURL clearapp://task/create?listName=Inbox&taskName=Milk",
        "post VLIPC.Kill",
    };
    EXPECT_EQ(events, expected);
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].userInfo, (Dictionary{{"identifier", Value("com.apple.mobilesafari")}}));
    EXPECT_EQ(host.widget(), nullptr) << "the dismissed widget is destroyed after the event";
}

TEST_F(HandOffTest, ListHandOffRunsInOrderAndLogsExactly) {
    createList("Trip");
    const std::vector<std::string> expected = {
        "call dismiss",
        "log [Velmora]Creating list using URL-scheme [clearapp://list/create?listName=Trip]...",
        "log [Velmora]Opening app...",
        "openURL clearapp://list/create?listName=Trip",
        "post VLIPC.Kill",
    };
    EXPECT_EQ(events, expected);
}

TEST_F(HandOffTest, ReturnIdentifierIsTheFrontAppOrTheHomeScreen) {
    const std::pair<std::optional<std::optional<std::string>>, std::string> cases[] = {
        {std::nullopt, "com.apple.springboard"},                      // home screen in front
        {std::optional<std::string>{"com.example.notes"}, "com.example.notes"},
        {std::optional<std::string>{}, "com.apple.springboard"},      // a front app without identifier
        {std::optional<std::string>{""}, "com.apple.springboard"},
    };
    for (const auto& [front, identifier] : cases) {
        SCOPED_TRACE(identifier);
        TearDown();
        SetUp();
        if (front) bringToFront(*front);
        submitTask({"Inbox"}, 0, "x");
        ASSERT_EQ(posts.size(), 1u);
        EXPECT_EQ(posts[0].name, "VLIPC.Kill");
        EXPECT_EQ(posts[0].userInfo, (Dictionary{{"identifier", Value(identifier)}}));
    }
}

TEST_F(HandOffTest, NotificationIsPostedOnceEvenWhenNoAppTakesTheURL) {
    application->handlesURLs = false;
    createList("Trip");
    EXPECT_EQ(posts.size(), 1u);
    EXPECT_LT(indexOf("call dismiss"), indexOf("openURL"));
    EXPECT_LT(indexOf("openURL"), indexOf("post VLIPC.Kill"));
}

TEST_F(HandOffTest, SubmitWithoutAChosenListHandsNothingOff) {
    installClear({});
    open();
    events.clear();
    ASSERT_TRUE(host.userSubmit().ok());
    EXPECT_EQ(events, (std::vector<std::string>{"log [Velmora]Not creating a task: no list is chosen"}));
    EXPECT_NE(host.widget(), nullptr);
}

TEST_F(HandOffTest, GuardedSubmitsFromAHostThatSendsOtherValues) {
    installClear({"Inbox"});
    open();
    const auto page = host.page();
    const std::vector<std::pair<Dictionary, std::string>> refused = {
        {{{"task", Value("x")}}, "[Velmora]Not creating a task: no list is chosen"},
        {{{"list", Value("Inbox")}, {"task", Value("x")}}, "[Velmora]Not creating a task: no list is chosen"},
        {{{"list", Value(Array{Value(kSentinel)})}, {"task", Value("x")}},
         "[Velmora]Not creating a task: \"Create List...\" is chosen instead of a list"},
    };
    for (const auto& [values, line] : refused) {
        events.clear();
        page->host().deliverSubmit(values);
        EXPECT_EQ(events, (std::vector<std::string>{"log " + line}));
    }
    EXPECT_TRUE(posts.empty());

    // A missing or non-string task goes as an empty one; a number list value as its digits.
    page->host().deliverSubmit({{"list", Value(Array{Value(42)})}});
    page->host().deliverSubmit({{"list", Value(Array{Value("Inbox")})}, {"task", Value(7)}});
    EXPECT_EQ(application->openedURLs,
              (std::vector<std::optional<std::string>>{"clearapp://task/create?listName=42&taskName=",
                                                       "clearapp://task/create?listName=Inbox&taskName="}));
    EXPECT_EQ(posts.size(), 2u);
}

TEST_F(HandOffTest, ConfirmedPromptWithoutTextOnlyLogs) {
    installClear({"Inbox"});
    open();
    ASSERT_TRUE(host.userSelectTitle("list", "Create List...").ok());
    auto completion = host.widget()->host().takePromptCompletion();
    ASSERT_TRUE(completion);
    events.clear();
    completion(false, std::nullopt, std::nullopt);
    EXPECT_EQ(events, (std::vector<std::string>{"log [Velmora]Not creating a list: no name was given"}));
}

}  // namespace
}  // namespace widgettest
