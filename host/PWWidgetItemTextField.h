#pragma once

#include "HostExport.h"
#include "PWWidgetItem.h"

// A one-line text item; its value is a string ("" when empty).
class HOST_API PWWidgetItemTextField : public PWWidgetItem {
public:
    // A string stays as it is; nil gives ""; any other value its description.
    Value acceptedValue(const Value& value) const override;
};
