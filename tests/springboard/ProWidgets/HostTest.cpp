// The widget host stand-in on its own: items, events, prompts, dismissal and
// bundle loading, with a widget written here rather than the plug-in's.

#include "BuildPaths.h"
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "Platform.h"
#include "PWContentItemViewControllerHost.h"
#include "PWHost.h"
#include "PWWidgetHost.h"
#include "PWWidgetItemHost.h"
#include "PWWidgetItemListValue.h"
#include "PWWidgetItemTextField.h"
#include "LogCapture.h"
#include "TempDirectory.h"

inline void PrintTo(const Value& value, std::ostream* os) { *os << value.description(); }

namespace {

const char* kLayout = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>items</key><array>
  <dict><key>key</key><string>list</string><key>type</key><string>listvalue</string></dict>
  <dict><key>key</key><string>text</string><key>type</key><string>textfield</string>
        <key>default</key><string>hello</string></dict>
</array></dict></plist>
)";

struct Event {
    std::string key;
    Value oldValue;
    Value newValue;
};

// A page that loads "Layout" and records every event it gets.
class TestPage : public PWContentItemViewController {
public:
    using PWContentItemViewController::PWContentItemViewController;
    void load() override {
        loadPlist("Layout");
        setItemValueChangedEventHandler(this, &TestPage::changed);
        setSubmitEventHandler(this, &TestPage::submitted);
    }
    void changed(const std::shared_ptr<PWWidgetItem>& item, const Value& oldValue) {
        events.push_back({item->key(), oldValue, item->value()});
        if (onChange) onChange(item);
    }
    void submitted(const Dictionary& values) {
        submits.push_back(values);
        if (dismissOnSubmit) widget()->dismiss();
    }
    std::vector<Event> events;
    std::vector<Dictionary> submits;
    bool dismissOnSubmit = false;
    std::function<void(const std::shared_ptr<PWWidgetItem>&)> onChange;
};

class TestWidget : public PWWidget {
public:
    void load() override {
        page = std::make_shared<TestPage>(shared_from_this());
        pushViewController(page, true);
    }
    std::shared_ptr<TestPage> page;
};

class HostTest : public ::testing::Test {
protected:
    void SetUp() override {
        springboard::setLogToStandardError(false);
        writeFile(dir.path() / "Layout.plist", kLayout);
        widget = std::make_shared<TestWidget>();
        ASSERT_TRUE(host.openWidget(widget, dir.str()).ok());
        page = widget->page;
        list = std::dynamic_pointer_cast<PWWidgetItemListValue>(page->host().item("list"));
        ASSERT_NE(list, nullptr);
        list->setListItemTitles({Value("One"), Value("Two"), Value("Three")}, {Value(1), Value(2), Value(3)});
        host.calls()->clear();
    }

    std::vector<std::string> names() const { return host.calls()->names(); }

    TempDirectory dir;
    PWHost host;
    std::shared_ptr<TestWidget> widget;
    std::shared_ptr<TestPage> page;
    std::shared_ptr<PWWidgetItemListValue> list;
    LogCapture log;
};

TEST_F(HostTest, BuildsItemsFromTheLayout) {
    EXPECT_TRUE(page->host().loaded());
    ASSERT_EQ(page->host().items().size(), 2u);
    EXPECT_NE(std::dynamic_pointer_cast<PWWidgetItemTextField>(page->host().item("text")), nullptr);
    EXPECT_EQ(page->host().item("text")->value(), Value("hello"));
    EXPECT_EQ(list->value(), Value(Array{}));
    EXPECT_EQ(page->itemWithKey("missing"), nullptr);
    EXPECT_EQ(*host.calls()->records().back().value("found"), Value(false));
}

TEST_F(HostTest, ListSetValueTakesOneValueOrAnArray) {
    const std::pair<Value, Value> cases[] = {
        {Value(2), Value(Array{Value(2)})},
        {Value(Array{Value(1), Value(3)}), Value(Array{Value(1), Value(3)})},
        {Value(Array{}), Value(Array{})},
        {Value(), Value(Array{})},
    };
    for (const auto& [given, stored] : cases) {
        list->setValue(given);
        EXPECT_EQ(list->value(), stored);
        EXPECT_EQ(*host.calls()->records()[0].value("value"), given) << "recorded as passed";
        host.calls()->clear();
    }
}

TEST_F(HostTest, DisplayTextJoinsTitlesAndIsRecordedWhenTheSelectionChanges) {
    EXPECT_EQ(list->displayTextForValues({Value(1), Value(3)}), "One, Three");
    EXPECT_EQ(list->displayTextForValues({Value(9)}), "9") << "a value without title shows its description";
    EXPECT_EQ(list->displayTextForValues({}), "");

    list->setValue(Value(2));
    list->setValue(Value(Array{Value(2)}));  // same selection: nothing more to show
    EXPECT_EQ(names(), (std::vector<std::string>{"setValue", "displayText", "setValue"}));
    EXPECT_EQ(*host.calls()->records()[1].value("text"), Value("Two"));
}

// A string is found among the choices as text, everything else by
// -isEqual:: a string never matches a number, and numbers match by value.
TEST_F(HostTest, DisplayTextFindsEachValueAsIsEqualWould) {
    list->setListItemTitles({Value("number one"), Value("string one"), Value("work"), Value("empty")},
                            {Value(1), Value("1"), Value("Work"), Value("")});
    const std::pair<Array, std::string> cases[] = {
        {{Value("1")}, "string one"},
        {{Value(1)}, "number one"},
        {{Value(true)}, "number one"},
        {{Value(1.0)}, "number one"},
        {{Value("Work")}, "work"},
        {{Value("work")}, "work"},  // no such choice: its own description
        {{Value("")}, "empty"},
        {{Value()}, "(null)"},
    };
    for (const auto& [values, text] : cases) EXPECT_EQ(list->displayTextForValues(values), text) << Value(values).description();
}

TEST_F(HostTest, NewChoicesKeepOnlyTheSelectionStillOffered) {
    list->setValue(Value(Array{Value(1), Value(2)}));
    list->setListItemTitles({Value("Two"), Value("Four"), Value("extra title")}, {Value(2), Value(4)});
    EXPECT_EQ(list->value(), Value(Array{Value(2)}));
    EXPECT_EQ(list->listItemTitles(), (Array{Value("Two"), Value("Four")}));
}

TEST_F(HostTest, OnlyUserChangesAreReported) {
    list->setValue(Value(1));
    page->host().item("text")->setValue(Value("typed by the plug-in"));
    EXPECT_TRUE(page->events.empty());

    ASSERT_TRUE(host.userSelect("list", 2).ok());
    ASSERT_TRUE(host.userSelectTitle("Two").ok());  // the page's list item
    ASSERT_TRUE(host.userSetText("typed").ok());  // the page's text item
    ASSERT_EQ(page->events.size(), 3u);
    EXPECT_EQ(page->events[0].oldValue, Value(Array{Value(1)}));
    EXPECT_EQ(page->events[0].newValue, Value(Array{Value(3)}));
    EXPECT_EQ(page->events[1].oldValue, Value(Array{Value(3)}));
    EXPECT_EQ(page->events[1].key, "list");
    EXPECT_EQ(page->events[2].key, "text");
    EXPECT_EQ(page->events[2].oldValue, Value("typed by the plug-in"));
    EXPECT_EQ(page->events[2].newValue, Value("typed"));
    // User changes are not the plug-in's setValue calls; only the shown text is recorded.
    EXPECT_EQ(names(), (std::vector<std::string>{"setValue", "displayText", "setValue", "displayText", "displayText"}));
}

TEST_F(HostTest, RefusedUserRequestsChangeNothing) {
    EXPECT_FALSE(host.userSelect("list", 3).ok());
    EXPECT_FALSE(host.userSelect("text", 0).ok());
    EXPECT_FALSE(host.userSelectTitle("list", "Four").ok());
    EXPECT_FALSE(host.userSetText("list", "x").ok());
    EXPECT_FALSE(host.userSetText("nope", "x").ok());
    EXPECT_FALSE(host.answerPrompt("x").ok());
    EXPECT_FALSE(host.cancelPrompt().ok());
    EXPECT_TRUE(page->events.empty());
    EXPECT_EQ(list->value(), Value(Array{}));
}

TEST_F(HostTest, SubmitSendsEveryItemsValue) {
    ASSERT_TRUE(host.userSelect("list", 0).ok());
    ASSERT_TRUE(host.userSubmit().ok());
    ASSERT_EQ(page->submits.size(), 1u);
    EXPECT_EQ(page->submits[0], (Dictionary{{"list", Value(Array{Value(1)})}, {"text", Value("hello")}}));
}

TEST_F(HostTest, DismissIsHonouredAfterTheEvent) {
    page->dismissOnSubmit = true;
    ASSERT_TRUE(host.userSubmit().ok());
    EXPECT_EQ(page->submits.size(), 1u) << "the handler ran to its end";
    EXPECT_EQ(host.widget(), nullptr);
    EXPECT_FALSE(host.userSubmit().ok());
}

TEST_F(HostTest, APromptIsAnsweredOnceAndBlocksThePage) {
    struct Answer {
        bool cancelled;
        std::optional<std::string> text, second;
    };
    std::vector<Answer> answers;
    for (bool cancel : {false, true}) {
        widget->prompt("Name?", "Title", "OK", std::string("preset"), 2,
                       [&answers](bool cancelled, const std::optional<std::string>& text,
                                  const std::optional<std::string>& second) {
                           answers.push_back({cancelled, text, second});
                       });
        ASSERT_TRUE(host.hasOpenPrompt());
        EXPECT_EQ(widget->host().openPrompt()->defaultValue, "preset");
        EXPECT_FALSE(host.userSelect("list", 0).ok());
        EXPECT_FALSE(host.userSubmit().ok());
        ASSERT_TRUE((cancel ? host.cancelPrompt() : host.answerPrompt("typed")).ok());
        EXPECT_FALSE(host.answerPrompt("again").ok());
        EXPECT_FALSE(host.cancelPrompt().ok());
    }
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_FALSE(answers[0].cancelled);
    EXPECT_EQ(answers[0].text, "typed");
    EXPECT_EQ(answers[0].second, std::nullopt);
    EXPECT_TRUE(answers[1].cancelled);
    EXPECT_EQ(answers[1].text, std::nullopt);
    EXPECT_TRUE(page->events.empty());
}

TEST_F(HostTest, ListenersSeeEveryCallAsItHappens) {
    std::vector<std::string> seen;
    const auto id = host.calls()->addListener([&](const PWCallRecord& r) { seen.push_back(r.name); });
    widget->setTitle("T");
    widget->setPreferredTintColor(UIColor::colorWithWhite(0.5, 1));
    host.calls()->removeListener(id);
    widget->showMessage("after");
    EXPECT_EQ(seen, (std::vector<std::string>{"setTitle", "setPreferredTintColor"}));
    EXPECT_EQ(*host.calls()->records()[1].color("color"), UIColor::colorWithWhite(0.5, 1));
    EXPECT_EQ(host.calls()->records()[1].value("color"), nullptr);
}

TEST_F(HostTest, LayoutProblemsAreSkippedAndLogged) {
    writeFile(dir.path() / "Layout.plist", R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>items</key><array>
  <string>not a dictionary</string>
  <dict><key>type</key><string>textfield</string></dict>
  <dict><key>key</key><string>a</string><key>type</key><string>NoSuchItemClass</string></dict>
  <dict><key>key</key><string>b</string><key>type</key><string>textfield</string></dict>
  <dict><key>key</key><string>b</string><key>type</key><string>listvalue</string></dict>
</array></dict></plist>
)");
    EXPECT_TRUE(page->loadPlist("Layout"));
    ASSERT_EQ(page->host().items().size(), 1u);
    EXPECT_EQ(page->host().items()[0]->key(), "b");
    EXPECT_EQ(log.lines().size(), 4u);
    EXPECT_FALSE(page->loadPlist("Missing"));
    EXPECT_EQ(*host.calls()->records().back().value("loaded"), Value(false));
}

// Bundles the host must refuse, each with a reason naming the problem.
TEST(WidgetBundleTest, RefusesBrokenBundlesWithAReason) {
    TempDirectory dir;
    const auto info = [](const std::string& entries) {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>" + entries +
               "</dict></plist>\n";
    };
    const std::string complete = "<key>PWInfoType</key><string>widget</string>"
                                 "<key>NSPrincipalClass</key><string>NoSuchWidget</string>"
                                 "<key>CFBundleExecutable</key><string>Exec</string>";
    const std::string buildDir = buildDirectory();
    struct Case {
        const char* name;
        std::string infoPlist;       // "" for none
        std::string executable;      // contents; "" for none; "@lib" for a library without entry points
        std::string reason;
    };
    const Case cases[] = {
        {"no Info.plist", "", "", "Info.plist is missing"},
        {"not a widget", info("<key>PWInfoType</key><string>toggle</string>"), "", "PWInfoType"},
        {"no principal class", info("<key>PWInfoType</key><string>widget</string>"), "", "NSPrincipalClass"},
        {"no executable", info(complete), "", "executable Exec is missing"},
        {"executable is no library", info(complete), "not a library", "cannot load Exec"},
        {"no entry point", info(complete), "@lib", "required symbol PWWidgetBundleLoad"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto bundle = dir.path() / (std::string(c.name) + ".widget");
        std::filesystem::create_directories(bundle);
        if (!c.infoPlist.empty()) writeFile(bundle / "Info.plist", c.infoPlist);
        if (c.executable == "@lib")
            std::filesystem::copy_file(buildDir + "/lib/libprowidgets.so", bundle / "Exec");
        else if (!c.executable.empty())
            writeFile(bundle / "Exec", c.executable);
        PWHost host;
        const auto result = host.loadBundle(bundle.string());
        EXPECT_FALSE(result.ok());
        EXPECT_NE(result.error().find(c.reason), std::string::npos) << result.error();
        EXPECT_FALSE(host.openWidget().ok());
    }
    PWHost host;
    EXPECT_NE(host.loadBundle((dir.path() / "missing.widget").string()).error().find("no such directory"),
              std::string::npos);
}

TEST(WidgetBundleTest, LoadsTheVelmoraBundle) {
    const std::string buildDir = buildDirectory();
    ASSERT_FALSE(buildDir.empty());
    PWHost host;
    const auto result = host.loadBundle(buildDir + "/Velmora.widget/");
    ASSERT_TRUE(result.ok()) << result.error();
    EXPECT_EQ(host.bundle()->principalClassName(), "VLWidget");
    EXPECT_EQ(host.bundle()->displayName(), "Clear");
    EXPECT_TRUE(host.createWidget().ok());
    EXPECT_FALSE(host.createWidget().ok()) << "one widget at a time";
}

}  // namespace
