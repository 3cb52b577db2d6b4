#include "PWHost.h"

#include "PWContentItemViewControllerHost.h"
#include "PWWidgetHost.h"
#include "PWWidgetItemHost.h"
#include "PWWidgetItemListValue.h"

PWHost::PWHost() : calls_(std::make_shared<PWCallLog>()) {}
PWHost::~PWHost() { widget_.reset(); }

PWResult PWHost::loadBundle(const std::string& path) {
    if (widget_) return PWResult::failure("a widget is open; close it before loading another bundle");
    std::string error;
    auto bundle = PWWidgetBundle::load(path, error);
    if (!bundle) return PWResult::failure(error);
    bundle_ = std::move(bundle);
    return PWResult::success();
}

PWResult PWHost::createWidget() {
    if (!bundle_) return PWResult::failure("no widget bundle is loaded");
    if (widget_) return PWResult::failure("a widget is already open");
    std::string error;
    auto widget = bundle_->createWidget(error);
    if (!widget) return PWResult::failure(error);
    widget->host().attach(calls_, bundle_->bundlePath());
    widget_ = std::move(widget);
    return PWResult::success();
}

PWResult PWHost::openWidget() {
    if (auto created = createWidget(); !created) return created;
    return run(widget_, bundle_->bundlePath());
}

PWResult PWHost::openWidget(std::shared_ptr<PWWidget> widget, std::optional<std::string> resourceDirectory) {
    if (!widget) return PWResult::failure("no widget to open");
    if (widget_) return PWResult::failure("a widget is already open");
    return run(std::move(widget), std::move(resourceDirectory));
}

PWResult PWHost::run(std::shared_ptr<PWWidget> widget, std::optional<std::string> resourceDirectory) {
    widget->host().attach(calls_, std::move(resourceDirectory));
    widget_ = std::move(widget);
    // A dismissal asked for in configure is honoured once both hooks ran.
    widget_->configure();
    widget_->load();
    settle();
    return PWResult::success();
}

void PWHost::settle() {
    while (widget_) {
        auto pages = widget_->host().takePagesToLoad();
        if (pages.empty()) break;
        for (const auto& page : pages) {
            page->host().setLoaded();
            page->load();
        }
    }
    if (widget_ && widget_->host().dismissRequested()) widget_.reset();
}

PWResult PWHost::closeWidget() {
    if (!widget_) return PWResult::failure("no widget is open");
    widget_.reset();
    return PWResult::success();
}

std::shared_ptr<PWContentItemViewController> PWHost::page() const {
    return widget_ ? widget_->host().topPage() : nullptr;
}

PWResult PWHost::checkPageReady() const {
    if (!widget_) return PWResult::failure("no widget is open");
    if (hasOpenPrompt()) return PWResult::failure("a prompt is open; answer or cancel it first");
    if (!page()) return PWResult::failure("the widget shows no page");
    return PWResult::success();
}

PWResult PWHost::userSelect(const std::string& key, std::size_t index) {
    if (auto ready = checkPageReady(); !ready) return ready;
    auto item = page()->host().item(key);
    auto list = std::dynamic_pointer_cast<PWWidgetItemListValue>(item);
    if (!list) return PWResult::failure("the page has no list item \"" + key + "\"");
    const auto& values = list->listItemValues();
    if (index >= values.size())
        return PWResult::failure("list item \"" + key + "\" has " + std::to_string(values.size()) +
                                 " choices; there is no choice " + std::to_string(index));
    return userChange(item, Value(Array{values[index]}));
}

PWResult PWHost::userSelectTitle(const std::string& key, const std::string& title) {
    if (auto ready = checkPageReady(); !ready) return ready;
    auto list = std::dynamic_pointer_cast<PWWidgetItemListValue>(page()->host().item(key));
    if (!list) return PWResult::failure("the page has no list item \"" + key + "\"");
    const auto& titles = list->listItemTitles();
    for (std::size_t i = 0; i < titles.size(); ++i)
        if (titles[i].description() == title) return userSelect(key, i);
    return PWResult::failure("list item \"" + key + "\" has no choice titled \"" + title + "\"");
}

PWResult PWHost::userSetText(const std::string& key, const std::string& text) {
    if (auto ready = checkPageReady(); !ready) return ready;
    auto item = page()->host().item(key);
    if (!item) return PWResult::failure("the page has no item \"" + key + "\"");
    if (std::dynamic_pointer_cast<PWWidgetItemListValue>(item))
        return PWResult::failure("item \"" + key + "\" is a list; pick one of its choices instead");
    return userChange(item, Value(text));
}

std::optional<std::string> PWHost::firstItemKey(bool list) const {
    if (!page()) return std::nullopt;
    for (const auto& item : page()->host().items())
        if ((std::dynamic_pointer_cast<PWWidgetItemListValue>(item) != nullptr) == list) return item->key();
    return std::nullopt;
}

PWResult PWHost::userSelect(std::size_t index) {
    if (auto ready = checkPageReady(); !ready) return ready;
    const auto key = firstItemKey(true);
    return key ? userSelect(*key, index) : PWResult::failure("the page has no list item");
}

PWResult PWHost::userSelectTitle(const std::string& title) {
    if (auto ready = checkPageReady(); !ready) return ready;
    const auto key = firstItemKey(true);
    return key ? userSelectTitle(*key, title) : PWResult::failure("the page has no list item");
}

PWResult PWHost::userSetText(const std::string& text) {
    if (auto ready = checkPageReady(); !ready) return ready;
    const auto key = firstItemKey(false);
    return key ? userSetText(*key, text) : PWResult::failure("the page has no text item");
}

PWResult PWHost::userChange(const std::shared_ptr<PWWidgetItem>& item, const Value& newValue) {
    // The page stays alive through the handler even if the widget dismisses.
    const auto page = this->page();
    const Value oldValue = item->value();
    item->host().storeValue(newValue);
    page->host().deliverValueChanged(item, oldValue);
    settle();
    return PWResult::success();
}

PWResult PWHost::userSubmit() {
    if (auto ready = checkPageReady(); !ready) return ready;
    const auto page = this->page();
    page->host().deliverSubmit();
    settle();
    return PWResult::success();
}

bool PWHost::hasOpenPrompt() const { return widget_ && widget_->host().openPrompt().has_value(); }

PWResult PWHost::answerPrompt(const std::string& text, const std::optional<std::string>& secondText) {
    return runPrompt(false, text, secondText);
}

PWResult PWHost::cancelPrompt() { return runPrompt(true, std::nullopt, std::nullopt); }

PWResult PWHost::runPrompt(bool cancelled, const std::optional<std::string>& text,
                           const std::optional<std::string>& secondText) {
    if (!hasOpenPrompt()) return PWResult::failure("no prompt is open");
    // Taken out before it runs: it runs once, and may open the next prompt.
    auto completion = widget_->host().takePromptCompletion();
    if (completion) completion(cancelled, text, secondText);
    completion = nullptr;
    settle();
    return PWResult::success();
}
