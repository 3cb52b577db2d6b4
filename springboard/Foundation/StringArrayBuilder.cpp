#include "StringArrayBuilder.h"

#include <utility>

#include "NSString.h"
#include "SharedStringArena.h"

// The array grows as strings come, by doubling. Gathering the strings in a
// vector of their own and making the array once at its size does fewer
// moves on paper, but the vector's life left the heap's free top above
// glibc's trim threshold at the end of every pop-up of 1,000 titles, so its
// pages went back to the kernel and were faulted in again on the next one.
// Gathering bytes and offsets in one buffer instead measured slower still.
struct StringArrayBuilder::Parts {
    SharedStringArena arena;
    Array strings;
};

StringArrayBuilder::StringArrayBuilder() : parts_(std::make_unique<Parts>()) {}
StringArrayBuilder::~StringArrayBuilder() = default;

void StringArrayBuilder::append(std::string_view text) { parts_->strings.emplace_back(parts_->arena.make(text)); }

bool StringArrayBuilder::appendUTF8(std::string_view text) {
    if (!isValidUTF8(text)) return false;
    append(text);
    return true;
}

Array StringArrayBuilder::take() { return std::exchange(parts_->strings, Array{}); }
