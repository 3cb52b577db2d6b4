#include "StringArrayBuilder.h"

#include <utility>
#include <vector>

#include "NSString.h"
#include "SharedStringArena.h"

// The strings wait in a vector of their own until take(): growing it moves
// three words a string, where growing the array would move whole values,
// and the array is then made once, at its final size.
struct StringArrayBuilder::Parts {
    SharedStringArena arena;
    std::vector<SharedString> strings;
};

StringArrayBuilder::StringArrayBuilder() : parts_(std::make_unique<Parts>()) {}
StringArrayBuilder::~StringArrayBuilder() = default;

void StringArrayBuilder::append(std::string_view text) { parts_->strings.push_back(parts_->arena.make(text)); }

bool StringArrayBuilder::appendUTF8(std::string_view text) {
    if (!isValidUTF8(text)) return false;
    append(text);
    return true;
}

Array StringArrayBuilder::take() {
    Array array;
    array.reserve(parts_->strings.size());
    for (SharedString& string : parts_->strings) array.emplace_back(std::move(string));
    parts_->strings.clear();
    return array;
}
