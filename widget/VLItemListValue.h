#pragma once

#include <string>

#include "PWWidgetItemListValue.h"

// The form's list item. Shows nothing, instead of "Create List...", while the
// create-list choice alone is selected.
class VLItemListValue : public PWWidgetItemListValue {
public:
    // "" for exactly one selected value whose integerValue is the create-list
    // sentinel (the sentinel itself, or a name made of its digits); the base
    // class's text for anything else.
    std::string displayTextForValues(const Array& values) const override;
};
