#include "PWWidgetItem.h"

#include "PWWidgetItemHost.h"

PWWidgetItem::PWWidgetItem() : host_(std::make_unique<PWWidgetItemHost>(*this)) {}
PWWidgetItem::~PWWidgetItem() = default;

const std::string& PWWidgetItem::key() const { return host_->key(); }
const std::string& PWWidgetItem::title() const { return host_->title(); }
Value PWWidgetItem::value() const { return host_->value(); }

void PWWidgetItem::setValue(const Value& value) {
    host_->calls().record({"setValue", {{"key", Value(key())}, {"value", value}}});
    host_->storeValue(acceptedValue(value));
}

Value PWWidgetItem::acceptedValue(const Value& value) const { return value; }

PWWidgetItemClass::~PWWidgetItemClass() = default;
