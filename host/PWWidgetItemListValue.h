#pragma once

#include <string>

#include "HostExport.h"
#include "PWWidgetItem.h"

// A list-choice item: titles shown to the user, and the value each stands for.
// Its value is always an array of the selected values (empty: nothing
// selected). Whenever the selection changes the host asks
// displayTextForValues for the text to show and records it.
class HOST_API PWWidgetItemListValue : public PWWidgetItem {
public:
    // Sets the choices: two arrays of equal length (should they differ, the
    // longer one's extra entries are ignored). The selection keeps only the
    // values still offered. Pass the arrays with std::move when they are not
    // needed after the call: a list of many titles is then not copied.
    void setListItemTitles(Array titles, Array values);
    const Array& listItemTitles() const { return *titles_.asArray(); }
    const Array& listItemValues() const { return *values_.asArray(); }

    // The text shown for the selected values. The base joins the titles of the
    // selected values with ", " (a value with no title shows its description).
    virtual std::string displayTextForValues(const Array& values) const;

    // An array stays as it is; nil gives the empty array; any other single
    // value gives an array holding just it. Values need not be offered.
    Value acceptedValue(const Value& value) const override;

private:
    // Held as values, so the host's record of the call shares them rather
    // than copying.
    Value titles_{Array{}};
    Value values_{Array{}};
};
