#pragma once

#include <string>

#include "HostExport.h"
#include "PWWidgetItem.h"

// A list-choice item: titles shown to the user, and the value each stands for.
// Its value is always an array of the selected values.
class HOST_API PWWidgetItemListValue : public PWWidgetItem {
public:
    // Two arrays of equal length; sets the choices (the selection is kept
    // only where its values are still offered).
    void setListItemTitles(const Array& titles, const Array& values);
    const Array& listItemTitles() const;
    const Array& listItemValues() const;

    // Accepts a single value (selecting it) or an array of values.
    void setValue(const Value& value) override;

    // The text shown for the selected values. The base joins the titles of the
    // selected values with ", " (a value with no title shows its description).
    // The host asks again whenever the selection changes.
    virtual std::string displayTextForValues(const Array& values) const;
};
