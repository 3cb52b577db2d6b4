#include "PWWidget.h"

#include "PWWidgetHost.h"

PWWidget::PWWidget() : host_(std::make_unique<PWWidgetHost>(*this)) {}
PWWidget::~PWWidget() = default;

void PWWidget::configure() {}
void PWWidget::load() {}
bool PWWidget::requiresProtectedDataAccess() const { return false; }

void PWWidget::setTitle(const std::string& title) { host_->setTitle(title); }
void PWWidget::setPreferredTintColor(const UIColor& color) { host_->setPreferredTintColor(color); }
void PWWidget::setPreferredBarTextColor(const UIColor& color) { host_->setPreferredBarTextColor(color); }

void PWWidget::pushViewController(const std::shared_ptr<PWContentItemViewController>& page, bool animated) {
    host_->pushViewController(page, animated);
}

void PWWidget::showMessage(const std::string& text) { host_->showMessage(text); }
void PWWidget::dismiss() { host_->dismiss(); }

void PWWidget::prompt(const std::string& message, const std::string& title, const std::string& buttonTitle,
                      const std::optional<std::string>& defaultValue, long style, PromptCompletion completion) {
    host_->prompt(message, title, buttonTitle, defaultValue, style, std::move(completion));
}

PWWidgetClass::~PWWidgetClass() = default;
