// The widget: finding Clear, title and colours, the missing-Clear message,
// and the form it pushes.

#include "WidgetTestSupport.h"

namespace widgettest {
namespace {

const UIColor kDefaultTint = UIColor::colorWithRed(0.883633, 0.336134, 0.0977991, 1);
const UIColor kWhite = UIColor::colorWithWhite(1, 1);
const UIColor kGraphiteTint = UIColor::colorWithRed(0.396078, 0.470668, 0.545258, 1);
const UIColor kVanillaTint = UIColor::colorWithRed(0.946619, 0.905082, 0.828011, 1);
const UIColor kVanillaText = UIColor::colorWithRed(0.376471, 0.286275, 0.192157, 1);
const std::string kMissing = "You need to install Clear or Clear+ from App Store to use this widget.";

class WidgetLifecycleTest : public WidgetTest {
protected:
    // The recorded calls up to and including the push, as "name" or
    // "name:field" for the fields that matter here.
    std::vector<std::string> widgetCalls() const {
        std::vector<std::string> out;
        for (const auto& r : host.calls()->records()) {
            if (r.name == "setTitle") out.push_back("setTitle:" + r.value("title")->description());
            else if (r.name == "showMessage") out.push_back("showMessage:" + r.value("text")->description());
            else if (r.name == "pushViewController") out.push_back("push:animated=" + r.value("animated")->description());
            else if (r.name == "dismiss" || r.name == "setPreferredTintColor" || r.name == "setPreferredBarTextColor")
                out.push_back(r.name);
            if (r.name == "pushViewController") break;
        }
        return out;
    }
    UIColor colour(const std::string& call) const { return *calls(call).at(0).color("color"); }
};

TEST_F(WidgetLifecycleTest, FindsClearThenClearPlusAndTakesTheirTheme) {
    struct Case {
        const char* name;
        bool clear, clearPlus;
        UIColor tint, text;
    };
    const Case cases[] = {
        {"Clear", true, false, kGraphiteTint, kWhite},
        {"Clear+", false, true, kVanillaTint, kVanillaText},
        {"both: Clear wins", true, true, kGraphiteTint, kWhite},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        if (c.clear) setTheme(installClear({"A"}, kClear), "THEME_GRAPHITE_ID");
        if (c.clearPlus) setTheme(installClear({"A"}, kClearPlus), "THEME_VANILLA_ID");
        ASSERT_TRUE(host.createWidget().ok());
        host.widget()->configure();
        EXPECT_EQ(registry->lookups, (std::vector<std::string>{kClear, kClearPlus}));
        host.widget()->load();
        host.settle();
        EXPECT_EQ(widgetCalls(), (std::vector<std::string>{"setTitle:Clear", "setPreferredTintColor",
                                                           "setPreferredBarTextColor", "push:animated=0"}));
        EXPECT_EQ(colour("setPreferredTintColor"), c.tint);
        EXPECT_EQ(colour("setPreferredBarTextColor"), c.text);
        EXPECT_NE(host.widget(), nullptr);
        EXPECT_TRUE(host.page()->host().loaded());
    }
}

TEST_F(WidgetLifecycleTest, WithoutClearTellsTheUserAndAsksToBeDismissedFromBothHooks) {
    ASSERT_TRUE(host.createWidget().ok());
    host.widget()->configure();
    EXPECT_EQ(registry->lookups, (std::vector<std::string>{kClear, kClearPlus}));
    host.widget()->load();
    host.settle();
    EXPECT_EQ(widgetCalls(),
              (std::vector<std::string>{"showMessage:" + kMissing, "dismiss", "setTitle:Clear",
                                        "setPreferredTintColor", "setPreferredBarTextColor",
                                        "showMessage:" + kMissing, "dismiss", "push:animated=0"}));
    EXPECT_EQ(colour("setPreferredTintColor"), kDefaultTint);
    EXPECT_EQ(colour("setPreferredBarTextColor"), kWhite);
    EXPECT_FALSE(calls("setListItemTitles").empty()) << "the pushed form was still loaded";
    EXPECT_EQ(host.widget(), nullptr) << "the host honours the dismissal once open is done";
}

TEST_F(WidgetLifecycleTest, HooksWorkInEitherOrder) {
    for (bool clearInstalled : {true, false}) {
        SCOPED_TRACE(clearInstalled ? "with Clear" : "without Clear");
        TearDown();
        SetUp();
        if (clearInstalled) installClear({"A"});
        ASSERT_TRUE(host.createWidget().ok());
        host.widget()->load();
        host.widget()->configure();
        host.settle();
        const std::vector<std::string> expected =
            clearInstalled
                ? std::vector<std::string>{"push:animated=0"}
                : std::vector<std::string>{"showMessage:" + kMissing, "dismiss", "push:animated=0"};
        EXPECT_EQ(widgetCalls(), expected);
        EXPECT_EQ(calls("setTitle").size(), 1u);
        EXPECT_EQ(calls("setPreferredTintColor").size(), 1u);
        EXPECT_EQ(calls("showMessage").size(), clearInstalled ? 0u : 2u);
    }
}

TEST_F(WidgetLifecycleTest, NoRegistryCallOnceClearIsFound) {
    installClear({"A"});
    ASSERT_TRUE(host.createWidget().ok());
    host.widget()->configure();
    EXPECT_EQ(registry->lookups.size(), 2u);
    host.widget()->configure();
    host.widget()->load();  // the form's own reader is loaded later, by the host
    EXPECT_EQ(registry->lookups.size(), 2u);
}

TEST_F(WidgetLifecycleTest, ALaterInstallIsFoundOnTheNextHook) {
    ASSERT_TRUE(host.createWidget().ok());
    host.widget()->configure();
    installClear({"A"});
    host.widget()->load();
    host.widget()->configure();
    EXPECT_EQ(calls("showMessage").size(), 1u);
    EXPECT_EQ(registry->lookups.size(), 4u);
}

TEST_F(WidgetLifecycleTest, RequiresProtectedDataAccess) {
    ASSERT_TRUE(host.createWidget().ok());
    EXPECT_TRUE(host.widget()->requiresProtectedDataAccess());
}

}  // namespace
}  // namespace widgettest
