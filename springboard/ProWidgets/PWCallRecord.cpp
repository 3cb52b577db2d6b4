#include "PWCallRecord.h"

const PWCallField* PWCallRecord::field(std::string_view field) const {
    for (const auto& [name, value] : fields)
        if (name == field) return &value;
    return nullptr;
}

const Value* PWCallRecord::value(std::string_view field) const {
    const auto* f = this->field(field);
    return f ? std::get_if<Value>(f) : nullptr;
}

const UIColor* PWCallRecord::color(std::string_view field) const {
    const auto* f = this->field(field);
    return f ? std::get_if<UIColor>(f) : nullptr;
}
