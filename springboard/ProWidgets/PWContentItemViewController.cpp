#include "PWContentItemViewController.h"

#include "PWContentItemViewControllerHost.h"

PWContentItemViewController::PWContentItemViewController(const std::shared_ptr<PWWidget>& widget)
    : host_(std::make_unique<PWContentItemViewControllerHost>(widget)) {}
PWContentItemViewController::~PWContentItemViewController() = default;

void PWContentItemViewController::load() {}

std::shared_ptr<PWWidget> PWContentItemViewController::widget() const { return host_->widget(); }
bool PWContentItemViewController::loadPlist(const std::string& name) { return host_->loadPlist(name); }

std::shared_ptr<PWWidgetItem> PWContentItemViewController::itemWithKey(const std::string& key) const {
    return host_->itemWithKey(key);
}

void PWContentItemViewController::setItemValueChangedHandler(ValueChangedHandler handler) {
    host_->setItemValueChangedHandler(std::move(handler));
}

void PWContentItemViewController::setSubmitHandler(SubmitHandler handler) {
    host_->setSubmitHandler(std::move(handler));
}
