#include "PWWidgetHost.h"

#include "PWContentItemViewController.h"

PWWidgetHost::PWWidgetHost(PWWidget& /*widget*/) : calls_(std::make_shared<PWCallLog>()) {}
PWWidgetHost::~PWWidgetHost() = default;

void PWWidgetHost::attach(std::shared_ptr<PWCallLog> calls, std::optional<std::string> bundlePath) {
    if (calls) calls_ = std::move(calls);
    bundlePath_ = std::move(bundlePath);
}

std::shared_ptr<PWContentItemViewController> PWWidgetHost::topPage() const {
    return pages_.empty() ? nullptr : pages_.back();
}

std::vector<std::shared_ptr<PWContentItemViewController>> PWWidgetHost::takePagesToLoad() {
    std::vector<std::shared_ptr<PWContentItemViewController>> pages(
        pages_.begin() + static_cast<std::ptrdiff_t>(pagesHandedOut_), pages_.end());
    pagesHandedOut_ = pages_.size();
    return pages;
}

PWWidget::PromptCompletion PWWidgetHost::takePromptCompletion() {
    prompt_.reset();
    return std::exchange(completion_, nullptr);
}

void PWWidgetHost::setTitle(const std::string& title) {
    calls_->record({"setTitle", {{"title", Value(title)}}});
    title_ = title;
}

void PWWidgetHost::setPreferredTintColor(const UIColor& color) {
    calls_->record({"setPreferredTintColor", {{"color", color}}});
    tint_ = color;
}

void PWWidgetHost::setPreferredBarTextColor(const UIColor& color) {
    calls_->record({"setPreferredBarTextColor", {{"color", color}}});
    barText_ = color;
}

void PWWidgetHost::pushViewController(const std::shared_ptr<PWContentItemViewController>& page, bool animated) {
    calls_->record({"pushViewController", {{"animated", Value(animated)}}});
    if (page) pages_.push_back(page);
}

void PWWidgetHost::showMessage(const std::string& text) {
    calls_->record({"showMessage", {{"text", Value(text)}}});
    messages_.push_back(text);
}

void PWWidgetHost::dismiss() {
    calls_->record({"dismiss", {}});
    dismissRequested_ = true;
}

void PWWidgetHost::prompt(const std::string& message, const std::string& title, const std::string& buttonTitle,
                          const std::optional<std::string>& defaultValue, long style,
                          PWWidget::PromptCompletion completion) {
    calls_->record({"prompt",
                    {{"message", Value(message)},
                     {"title", Value(title)},
                     {"buttonTitle", Value(buttonTitle)},
                     {"defaultValue", Value(defaultValue)},
                     {"style", Value(style)}}});
    prompt_ = Prompt{message, title, buttonTitle, defaultValue, style};
    // An unanswered earlier prompt is replaced; its completion is released here.
    completion_ = std::move(completion);
}
