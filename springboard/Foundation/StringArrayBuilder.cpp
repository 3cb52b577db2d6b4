#include "StringArrayBuilder.h"

#include <utility>

#include "SharedStringArena.h"

struct StringArrayBuilder::Parts {
    SharedStringArena strings;
    Array array;
};

StringArrayBuilder::StringArrayBuilder() : parts_(std::make_unique<Parts>()) {}
StringArrayBuilder::~StringArrayBuilder() = default;

void StringArrayBuilder::append(std::string_view text) { parts_->array.emplace_back(parts_->strings.make(text)); }

Array StringArrayBuilder::take() { return std::exchange(parts_->array, Array{}); }
