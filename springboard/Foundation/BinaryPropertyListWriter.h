#pragma once

// A writer of binary property lists ("bplist00") straight from Value.
// libplist's own writer looks for duplicate objects through a hash that
// only sees the first bytes of a string, so many strings sharing a prefix
// ("Groceries 1", "Groceries 2", ...) make it quadratic, and IPC replies of
// list titles are just that (measurements: docs/PERFORMANCE.md).
// This writer stores every object once as it comes (no sharing) in linear
// time.

#include <string>

#include "Value.h"

namespace springboard {

// The binary property-list bytes of `value`. Nil values are left out of
// arrays and dictionaries; a nil root gives "", and so does a value nesting
// deeper than kMaxPropertyListDepth. Strings are written as
// ASCII when they are, else as UTF-16 (bytes that are no UTF-8 become
// U+FFFD). Integers above 2^63-1 take the 16-byte form.
// The first `room` bytes of the result are zeros left for the caller (a
// frame header), so the bytes need not move to make room for it later.
std::string writeBinaryPropertyList(const Value& value, std::size_t room = 0);

}  // namespace springboard
