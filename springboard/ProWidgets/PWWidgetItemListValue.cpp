#include "PWWidgetItemListValue.h"

#include <algorithm>

#include "PWWidgetItemHost.h"

namespace {

// Where `value` is first among `values` by -isEqual:. A string equals only
// a string of the same bytes, so a string is looked for as text: a list
// offers a thousand choices, and the selection is looked up at every change.
Array::const_iterator find(const Array& values, const Value& value) {
    if (const auto text = value.asString())
        return std::find_if(values.begin(), values.end(), [&](const Value& v) { return v.asString() == text; });
    return std::find_if(values.begin(), values.end(), [&](const Value& v) { return v.isEqual(value); });
}

bool contains(const Array& values, const Value& value) { return find(values, value) != values.end(); }

}  // namespace

void PWWidgetItemListValue::setListItemTitles(Array titles, Array values) {
    // The record shows the call as made; the item keeps the pairs it can use.
    // Values share their arrays, so when the lengths agree (always, for a
    // well-behaved plug-in) the record and the item hold the same two arrays
    // and nothing is copied.
    const std::size_t count = std::min(titles.size(), values.size());
    const bool sameLength = titles.size() == values.size();
    const Value titlesAsGiven(std::move(titles)), valuesAsGiven(std::move(values));
    host().calls().record({"setListItemTitles", {{"key", Value(key())}, {"titles", titlesAsGiven}, {"values", valuesAsGiven}}});
    if (sameLength) {
        titles_ = titlesAsGiven;
        values_ = valuesAsGiven;
    } else {
        const Array& t = *titlesAsGiven.asArray();
        const Array& v = *valuesAsGiven.asArray();
        const auto end = static_cast<std::ptrdiff_t>(count);
        titles_ = Value(Array(t.begin(), t.begin() + end));
        values_ = Value(Array(v.begin(), v.begin() + end));
    }

    Array kept;
    if (const auto* selected = value().asArray())
        for (const auto& v : *selected)
            if (contains(listItemValues(), v)) kept.push_back(v);
    host().storeValue(Value(std::move(kept)));
}

std::string PWWidgetItemListValue::displayTextForValues(const Array& values) const {
    std::string text;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const Value& value = values[i];
        if (i > 0) text += ", ";
        const Array& offered = listItemValues();
        const auto it = find(offered, value);
        text += it == offered.end() ? value.description()
                                    : listItemTitles()[static_cast<std::size_t>(it - offered.begin())].description();
    }
    return text;
}

Value PWWidgetItemListValue::acceptedValue(const Value& value) const {
    if (value.isArray()) return value;
    if (value.isNil()) return Value(Array{});
    return Value(Array{value});
}
