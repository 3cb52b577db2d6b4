#include "StringArrayBuilder.h"

#include <algorithm>
#include <utility>

#include "NSString.h"
#include "SharedStringArena.h"

namespace {

// The largest array that grows fourfold: 16,384 values (512 KiB).
constexpr std::size_t kFourfoldUpTo = 16384;

}  // namespace

// The array grows as strings come. Gathering the strings in a vector of
// their own and making the array once at its size does fewer moves on
// paper, but the vector's life left the heap's free top above glibc's trim
// threshold at the end of every pop-up of 1,000 titles, so its pages went
// back to the kernel and were faulted in again on the next one. Gathering
// bytes and offsets in one buffer instead measured slower still.
struct StringArrayBuilder::Parts {
    SharedStringArena arena;
    Array strings;
};

StringArrayBuilder::StringArrayBuilder() : parts_(std::make_unique<Parts>()) {}
StringArrayBuilder::~StringArrayBuilder() = default;

void StringArrayBuilder::append(std::string_view text) {
    Array& strings = parts_->strings;
    // Growing four times over moves a third of the values doubling moves
    // (each move of a value is a visit of its kind, and of the one it
    // leaves). take() gives back what that leaves unused, if most is. Past
    // a few thousand strings it doubles: a fourfold array of 100,000 titles
    // would take 8 MB fresh from the kernel, and giving back its slack
    // would move them all again.
    if (strings.size() == strings.capacity()) {
        const std::size_t capacity = strings.capacity();
        strings.reserve(capacity < kFourfoldUpTo ? std::max<std::size_t>(16, capacity * 4) : capacity * 2);
    }
    strings.emplace_back(parts_->arena.make(text));
}

bool StringArrayBuilder::appendUTF8(std::string_view text) {
    if (!isValidUTF8(text)) return false;
    append(text);
    return true;
}

namespace {

// The array may be kept while a form is open: no more than half of it
// unused, as doubling would leave it.
[[gnu::cold, gnu::noinline]] void giveBackUnused(Array& strings) { strings.shrink_to_fit(); }

}  // namespace

Array StringArrayBuilder::take() {
    Array& strings = parts_->strings;
    if (strings.capacity() > 2 * strings.size()) giveBackUnused(strings);
    return std::exchange(strings, Array{});
}
