// The add-item form: its choices, the preselection, the new-list prompt and
// the list item's display text.

#include "WidgetTestSupport.h"

namespace widgettest {
namespace {

class AddItemFormTest : public WidgetTest {
protected:
    const Value sentinel{kSentinel};

    std::vector<PWCallRecord> listChoices() const { return calls("setListItemTitles"); }
    std::vector<std::string> names() const { return host.calls()->names(); }
    bool prompted() const { return !calls("prompt").empty(); }
};

TEST_F(AddItemFormTest, OffersTheListNamesThenCreateList) {
    installClear({"A", "B"});
    open();
    const auto records = listChoices();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(*records[0].value("titles"), Value(Array{Value("A"), Value("B"), Value("Create List...")}));
    EXPECT_EQ(*records[0].value("values"), Value(Array{Value("A"), Value("B"), sentinel}));
    EXPECT_EQ(listItem()->listItemValues().back(), sentinel);
    EXPECT_TRUE(calls("setValue").empty()) << "no default list, nothing preselected";
    EXPECT_EQ(listItem()->value(), Value(Array{}));
}

TEST_F(AddItemFormTest, WithoutListsOnlyCreateListIsOffered) {
    for (bool clearInstalled : {true, false}) {
        SCOPED_TRACE(clearInstalled ? "Clear without lists" : "no Clear");
        TearDown();
        SetUp();
        if (clearInstalled) installClear({});
        // Hooks called directly: without Clear the host would honour the
        // dismissal before the form could be looked at.
        ASSERT_TRUE(host.createWidget().ok());
        host.widget()->load();
        for (const auto& page : host.widget()->host().takePagesToLoad()) page->load();
        const auto records = listChoices();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(*records[0].value("titles"), Value(Array{Value("Create List...")}));
        EXPECT_EQ(*records[0].value("values"), Value(Array{sentinel}));
    }
}

TEST_F(AddItemFormTest, PreselectsTheDefaultListByExactName) {
    const std::pair<std::string, bool> cases[] = {{"B", true}, {"b", false}, {"Gone", false}, {"B ", false}};
    for (const auto& [defaultList, preselected] : cases) {
        SCOPED_TRACE(defaultList);
        TearDown();
        SetUp();
        setDefaultList(defaultList);
        installClear({"A", "B"});
        open();
        const auto setValues = calls("setValue");
        if (preselected) {
            ASSERT_EQ(setValues.size(), 1u);
            EXPECT_EQ(*setValues[0].value("key"), Value("list"));
            EXPECT_EQ(*setValues[0].value("value"), Value("B")) << "the name itself, not an array";
            EXPECT_EQ(listItem()->value(), Value(Array{Value("B")}));
            EXPECT_EQ(listItem()->host().displayText(), "B");
        } else {
            EXPECT_TRUE(setValues.empty());
        }
        EXPECT_FALSE(prompted());
    }
}

TEST_F(AddItemFormTest, PreselectionHappensBeforeTheHandlersAreRegistered) {
    setDefaultList("B");
    installClear({"A", "B"});
    open();
    const auto n = names();
    const auto at = [&](const std::string& name) { return std::find(n.begin(), n.end(), name) - n.begin(); };
    EXPECT_LT(at("loadPlist"), at("setListItemTitles"));
    EXPECT_LT(at("setListItemTitles"), at("setValue"));
    EXPECT_LT(at("setValue"), at("setItemValueChangedEventHandler"));
    EXPECT_LT(at("setItemValueChangedEventHandler"), at("setSubmitEventHandler"));
}

TEST_F(AddItemFormTest, TaskChangesAndListPicksShowNoPrompt) {
    installClear({"A", "B"});
    open();
    ASSERT_TRUE(host.userSetText("task", "Milk").ok());
    ASSERT_TRUE(host.userSelect("list", 0).ok());
    ASSERT_TRUE(host.userSelectTitle("list", "B").ok());
    EXPECT_FALSE(prompted());
    EXPECT_FALSE(host.hasOpenPrompt());
}

TEST_F(AddItemFormTest, PickingCreateListShowsTheNewListPrompt) {
    installClear({"A"});
    open();
    ASSERT_TRUE(host.userSelectTitle("list", "Create List...").ok());
    const auto prompts = calls("prompt");
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(*prompts[0].value("message"), Value("What would you like to name your new Clear list?"));
    EXPECT_EQ(*prompts[0].value("title"), Value("Create List"));
    EXPECT_EQ(*prompts[0].value("buttonTitle"), Value("Add"));
    EXPECT_TRUE(prompts[0].value("defaultValue")->isNil());
    EXPECT_EQ(*prompts[0].value("style"), Value(2));
    EXPECT_EQ(listItem()->host().displayText(), "") << "the create-list choice shows no text";
}

TEST_F(AddItemFormTest, CancelPutsThePreviousChoiceBack) {
    const std::pair<std::optional<std::string>, Value> cases[] = {
        {"B", Value(Array{Value("B")})},  // the preselected default
        {std::nullopt, Value(Array{})},   // nothing was chosen
    };
    for (const auto& [defaultList, previous] : cases) {
        TearDown();
        SetUp();
        if (defaultList) setDefaultList(*defaultList);
        installClear({"A", "B"});
        open();
        ASSERT_TRUE(host.userSelectTitle("list", "Create List...").ok());
        ASSERT_TRUE(host.cancelPrompt().ok());
        const auto setValues = calls("setValue");
        ASSERT_FALSE(setValues.empty());
        EXPECT_EQ(*setValues.back().value("value"), previous);
        EXPECT_EQ(listItem()->value(), previous);
        EXPECT_TRUE(application->openedURLs.empty());
        EXPECT_NE(host.widget(), nullptr);
    }
}

TEST_F(AddItemFormTest, CancelAfterAnotherPickRestoresThatPick) {
    installClear({"A", "B"});
    open();
    ASSERT_TRUE(host.userSelectTitle("list", "A").ok());
    ASSERT_TRUE(host.userSelectTitle("list", "Create List...").ok());
    ASSERT_TRUE(host.cancelPrompt().ok());
    EXPECT_EQ(listItem()->value(), Value(Array{Value("A")}));
    EXPECT_EQ(listItem()->host().displayText(), "A");
}

TEST_F(AddItemFormTest, ConfirmCreatesTheListWithTheTextAsGiven) {
    const std::pair<std::string, std::string> cases[] = {
        {"  Trip  ", "clearapp://list/create?listName=%20%20Trip%20%20"},
        {"", "clearapp://list/create?listName="},
    };
    for (const auto& [text, url] : cases) {
        TearDown();
        SetUp();
        installClear({"A"});
        open();
        ASSERT_TRUE(host.userSelectTitle("list", "Create List...").ok());
        ASSERT_TRUE(host.answerPrompt(text).ok());
        ASSERT_EQ(application->openedURLs.size(), 1u);
        EXPECT_EQ(application->openedURLs[0], url);
        EXPECT_FALSE(host.answerPrompt("again").ok()) << "a prompt is answered once";
        EXPECT_EQ(application->openedURLs.size(), 1u);
    }
}

TEST_F(AddItemFormTest, CompletionKeepsItsObjectsAliveAfterTheWidgetIsGone) {
    installClear({"A", "B"});
    open();
    ASSERT_TRUE(host.userSelectTitle("list", "A").ok());
    ASSERT_TRUE(host.userSelectTitle("list", "Create List...").ok());
    std::weak_ptr<PWWidgetItem> item = host.page()->host().item("list");
    auto completion = host.widget()->host().takePromptCompletion();
    ASSERT_TRUE(host.closeWidget().ok());
    ASSERT_FALSE(item.expired()) << "the completion holds the list item";

    completion(true, std::nullopt, std::nullopt);
    EXPECT_EQ(*calls("setValue").back().value("value"), Value(Array{Value("A")}));
    completion = nullptr;
    EXPECT_TRUE(item.expired()) << "and lets go of it once released";
}

TEST_F(AddItemFormTest, AnEmptySelectionIsIgnored) {
    installClear({"A"});
    open();
    const auto item = host.page()->host().item("list");
    item->host().storeValue(Value(Array{}));
    host.page()->host().deliverValueChanged(item, Value(Array{Value("A")}));
    item->host().storeValue(Value("not an array"));
    host.page()->host().deliverValueChanged(item, Value());
    EXPECT_FALSE(prompted());
}

TEST_F(AddItemFormTest, ListItemDisplayText) {
    ASSERT_NE(objc_getClass("VLItemListValue"), nullptr) << "the bundle registers its item class";
    const auto* cls = dynamic_cast<const PWWidgetItemClass*>(objc_getClass("VLItemListValue"));
    ASSERT_NE(cls, nullptr);
    const auto list = std::dynamic_pointer_cast<PWWidgetItemListValue>(cls->alloc());
    ASSERT_NE(list, nullptr);
    list->setListItemTitles({Value("Inbox"), Value("Create List...")}, {Value("Inbox"), sentinel});

    const std::pair<Array, std::string> cases[] = {
        {{sentinel}, ""},
        {{Value("9223372036854775807")}, ""},  // a name made of the sentinel's digits
        {{Value("Inbox")}, "Inbox"},
        {{}, ""},
        {{Value("Inbox"), sentinel}, "Inbox, Create List..."},
        {{sentinel, sentinel}, "Create List..., Create List..."},
        {{Value(kSentinel - 1)}, "9223372036854775806"},
    };
    for (const auto& [values, text] : cases) EXPECT_EQ(list->displayTextForValues(values), text) << Value(values).description();
}

}  // namespace
}  // namespace widgettest
