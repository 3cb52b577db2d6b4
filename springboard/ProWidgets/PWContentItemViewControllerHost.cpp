#include "PWContentItemViewControllerHost.h"

#include "NSLog.h"
#include "NSString.h"
#include "PWItemLayout.h"
#include "PWWidget.h"
#include "PWWidgetHost.h"
#include "PropertyList.h"

PWContentItemViewControllerHost::PWContentItemViewControllerHost(const std::shared_ptr<PWWidget>& widget)
    : widget_(widget), calls_(widget ? widget->host().calls() : std::make_shared<PWCallLog>()) {}

bool PWContentItemViewControllerHost::loadPlist(const std::string& name) {
    std::optional<Dictionary> layout;
    std::string path;
    auto widget = widget_.lock();
    if (widget && widget->host().bundlePath())
        path = stringByAppendingPathComponent(*widget->host().bundlePath(), name + ".plist");
    if (!path.empty()) layout = dictionaryWithContentsOfFile(path);
    calls_->record({"loadPlist", {{"name", Value(name)}, {"loaded", Value(layout.has_value())}}});

    if (!layout) {
        NSLog("[ProWidgets]Cannot read the item layout %@ (%@)",
              {Value(name), Value(path.empty() ? std::string("the widget has no bundle") : path)});
        return false;
    }
    std::vector<std::string> problems;
    items_ = buildItemsFromLayout(*layout, calls_, problems);
    for (const auto& problem : problems) NSLog("[ProWidgets]Item layout %@: %@", {Value(name), Value(problem)});
    return true;
}

std::shared_ptr<PWWidgetItem> PWContentItemViewControllerHost::itemWithKey(const std::string& key) const {
    auto found = item(key);
    calls_->record({"itemWithKey", {{"key", Value(key)}, {"found", Value(found != nullptr)}}});
    return found;
}

std::shared_ptr<PWWidgetItem> PWContentItemViewControllerHost::item(const std::string& key) const {
    for (const auto& item : items_)
        if (item->key() == key) return item;
    return nullptr;
}

void PWContentItemViewControllerHost::setItemValueChangedHandler(
    PWContentItemViewController::ValueChangedHandler handler) {
    calls_->record({"setItemValueChangedEventHandler", {}});
    valueChanged_ = std::move(handler);
}

void PWContentItemViewControllerHost::setSubmitHandler(PWContentItemViewController::SubmitHandler handler) {
    calls_->record({"setSubmitEventHandler", {}});
    submit_ = std::move(handler);
}

Dictionary PWContentItemViewControllerHost::values() const {
    Dictionary values;
    for (const auto& item : items_) values[item->key()] = item->value();
    return values;
}

void PWContentItemViewControllerHost::deliverValueChanged(const std::shared_ptr<PWWidgetItem>& item,
                                                          const Value& oldValue) const {
    // A copy: the handler may replace itself.
    if (auto handler = valueChanged_) handler(item, oldValue);
}

void PWContentItemViewControllerHost::deliverSubmit() const { deliverSubmit(values()); }

void PWContentItemViewControllerHost::deliverSubmit(const Dictionary& values) const {
    if (auto handler = submit_) handler(values);
}
