#include "PWWidgetItemHost.h"

#include "PWWidgetItemListValue.h"

PWWidgetItemHost::PWWidgetItemHost(PWWidgetItem& item) : item_(item), calls_(std::make_shared<PWCallLog>()) {}

void PWWidgetItemHost::setUp(std::string key, std::string title, const Value& initialValue,
                             std::shared_ptr<PWCallLog> calls) {
    key_ = std::move(key);
    title_ = std::move(title);
    value_ = initialValue;
    if (calls) calls_ = std::move(calls);
}

void PWWidgetItemHost::storeValue(const Value& value) {
    const bool changed = !(value == value_);
    value_ = value;
    if (!changed) return;
    const auto* list = dynamic_cast<const PWWidgetItemListValue*>(&item_);
    if (!list) return;
    const auto* selected = value_.asArray();
    displayText_ = list->displayTextForValues(selected ? *selected : Array{});
    calls_->record({"displayText", {{"key", Value(key_)}, {"text", Value(displayText_)}}});
}
