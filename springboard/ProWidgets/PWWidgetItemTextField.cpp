#include "PWWidgetItemTextField.h"

Value PWWidgetItemTextField::acceptedValue(const Value& value) const {
    if (value.isString()) return value;
    if (value.isNil()) return Value(std::string());
    return Value(value.description());
}
