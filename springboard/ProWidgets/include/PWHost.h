#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "PWCallLog.h"
#include "PWContentItemViewController.h"
#include "PWResult.h"
#include "PWWidget.h"
#include "PWWidgetBundle.h"

// The widget host: runs one widget of one loaded bundle and plays the user.
//
// Every call the plug-in makes on the host (widget, pages, items) goes to
// calls(), in order; add a listener there to see them as they happen.
//
// After each of its calls into the plug-in (open, a user change, submit, an
// answer) the host settles: it loads every page pushed meanwhile, and then
// destroys the widget if it asked to be dismissed. A request the host cannot
// carry out changes nothing and returns a failure naming the reason.
// Main thread only.
class PWHost {
public:
    PWHost();
    ~PWHost();  // destroys the widget
    PWHost(const PWHost&) = delete;
    PWHost& operator=(const PWHost&) = delete;

    const std::shared_ptr<PWCallLog>& calls() const { return calls_; }

    // Loads the widget bundle at `path` (see PWWidgetBundle::load). Refused
    // while a widget is open.
    PWResult loadBundle(const std::string& path);
    const std::shared_ptr<PWWidgetBundle>& bundle() const { return bundle_; }

    // Creates the bundle's principal class and connects it to this host,
    // without calling any hook. Refused without a bundle or while a widget
    // is open.
    PWResult createWidget();
    // The user calls up the widget: createWidget, then `configure`, then
    // `load`, then settle (which loads the pushed page).
    PWResult openWidget();
    // The same for a widget made elsewhere (a test's, or one built into the
    // host) whose pages read their layouts from `resourceDirectory`.
    PWResult openWidget(std::shared_ptr<PWWidget> widget, std::optional<std::string> resourceDirectory);
    // Loads pages pushed since the last time, then honours a dismissal.
    void settle();
    // Destroys the widget (an open prompt goes with it). Refused when none
    // is open.
    PWResult closeWidget();

    // The open widget (nullptr when none) and the page the user sees.
    const std::shared_ptr<PWWidget>& widget() const { return widget_; }
    std::shared_ptr<PWContentItemViewController> page() const;

    // The user picks choice `index` (0-based) of list item `key`, or the
    // first choice titled `title`: the selection becomes that one value and
    // the page's value-change handler gets the item and the value before.
    // Delivered also when the choice was already selected.
    PWResult userSelect(const std::string& key, std::size_t index);
    PWResult userSelectTitle(const std::string& key, const std::string& title);
    // The user sets the text of text item `key`; reported like a pick.
    PWResult userSetText(const std::string& key, const std::string& text);
    // The same on the page's first list item / first other item, for a
    // user who just sees "the list" and "the text field".
    PWResult userSelect(std::size_t index);
    PWResult userSelectTitle(const std::string& title);
    PWResult userSetText(const std::string& text);
    // The user submits the page: its submit handler gets every item's value.
    PWResult userSubmit();

    // Whether the widget has a prompt open, and its texts.
    bool hasOpenPrompt() const;
    // The user confirms the open prompt with `text`, or cancels it; its
    // completion runs once. Refused when no prompt is open (so also for a
    // second answer). User changes and submit are refused while a prompt is
    // open, as an alert blocks the page under it.
    PWResult answerPrompt(const std::string& text, const std::optional<std::string>& secondText = std::nullopt);
    PWResult cancelPrompt();

private:
    PWResult run(std::shared_ptr<PWWidget> widget, std::optional<std::string> resourceDirectory);
    PWResult userChange(const std::shared_ptr<PWWidgetItem>& item, const Value& newValue);
    PWResult checkPageReady() const;
    // The key of the page's first list item (list true) or first other item.
    std::optional<std::string> firstItemKey(bool list) const;
    PWResult runPrompt(bool cancelled, const std::optional<std::string>& text,
                       const std::optional<std::string>& secondText);

    std::shared_ptr<PWCallLog> calls_;
    std::shared_ptr<PWWidgetBundle> bundle_;
    std::shared_ptr<PWWidget> widget_;
};
