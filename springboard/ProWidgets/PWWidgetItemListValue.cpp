#include "PWWidgetItemListValue.h"

#include <algorithm>

#include "PWWidgetItemHost.h"

namespace {

bool contains(const Array& values, const Value& value) {
    return std::any_of(values.begin(), values.end(), [&](const Value& v) { return v.isEqual(value); });
}

}  // namespace

void PWWidgetItemListValue::setListItemTitles(const Array& titles, const Array& values) {
    host().calls().record(
        {"setListItemTitles", {{"key", Value(key())}, {"titles", Value(titles)}, {"values", Value(values)}}});
    const auto count = std::min(titles.size(), values.size());
    titles_.assign(titles.begin(), titles.begin() + static_cast<std::ptrdiff_t>(count));
    values_.assign(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(count));

    Array kept;
    if (const auto* selected = value().asArray())
        for (const auto& v : *selected)
            if (contains(values_, v)) kept.push_back(v);
    host().storeValue(Value(std::move(kept)));
}

std::string PWWidgetItemListValue::displayTextForValues(const Array& values) const {
    std::string text;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const Value& value = values[i];
        if (i > 0) text += ", ";
        const auto it = std::find_if(values_.begin(), values_.end(), [&](const Value& v) { return v.isEqual(value); });
        text += it == values_.end() ? value.description() : titles_[static_cast<std::size_t>(it - values_.begin())].description();
    }
    return text;
}

Value PWWidgetItemListValue::acceptedValue(const Value& value) const {
    if (value.isArray()) return value;
    if (value.isNil()) return Value(Array{});
    return Value(Array{value});
}
