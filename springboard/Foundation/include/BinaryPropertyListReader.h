#pragma once

// A reader of binary property lists ("bplist00") straight into Value, in one
// pass that also checks the list's shape: every offset and reference in
// bounds, no cycles, at most kMaxPropertyListDepth levels and
// kMaxPropertyListNodes objects once shared objects are counted per
// reference, strings that are text (ASCII/UTF-8 or UTF-16 without lone
// surrogates; a U+0000 is kept, never cut at). Every value it decodes is
// charged against a byte budget, so a small list of many references to one
// object cannot cost memory out of proportion to its size. Anything
// malformed, over a limit or over budget gives absent; so does a failed
// allocation.

#include <cstddef>
#include <optional>
#include <string_view>

#include "HostExport.h"
#include "Value.h"

namespace springboard {

// The decoded values of a well-formed list of `inputSize` bytes fit in this
// many bytes: 16 per input byte leaves room for a list of one-byte objects
// each referenced once; more is only reached through sharing.
constexpr std::size_t defaultDecodeBudget(std::size_t inputSize) { return 16 * inputSize + 64 * 1024; }

HOST_API std::optional<Value> readBinaryPropertyList(std::string_view bytes, std::size_t budget);
// The root dictionary, built in place; absent when the root is no dictionary.
HOST_API std::optional<Dictionary> readBinaryPropertyListDictionary(std::string_view bytes, std::size_t budget);

}  // namespace springboard
