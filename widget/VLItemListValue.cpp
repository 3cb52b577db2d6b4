#include "VLItemListValue.h"

#include "VLCreateListSentinel.h"

std::string VLItemListValue::displayTextForValues(const Array& values) const {
    if (values.size() == 1 && values.front().integerValue() == VLCreateListSentinel) return "";
    return PWWidgetItemListValue::displayTextForValues(values);
}
