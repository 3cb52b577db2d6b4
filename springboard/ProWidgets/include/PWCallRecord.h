#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "UIColor.h"
#include "Value.h"

// One argument of a recorded call: a value, or a colour.
using PWCallField = std::variant<Value, UIColor>;

// One call a plug-in made on the host: the operation's name as the
// simulator's trace writes it ("setTitle", "setValue", "prompt", ...) and its
// arguments under their trace field names, in argument order. An absent
// argument (a prompt without default text) is recorded as nil.
struct PWCallRecord {
    std::string name;
    std::vector<std::pair<std::string, PWCallField>> fields;

    // The field named `field`, or nullptr when the call has none.
    const PWCallField* field(std::string_view field) const;
    // The field as a value or as a colour; nullptr when missing or when it
    // is of the other kind.
    const Value* value(std::string_view field) const;
    const UIColor* color(std::string_view field) const;
};
