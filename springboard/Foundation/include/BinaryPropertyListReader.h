#pragma once

// A reader of binary property lists ("bplist00") straight into Value, in one
// pass that also checks the list's shape: every offset and reference in
// bounds, no cycles, at most kMaxPropertyListDepth levels and
// kMaxPropertyListNodes objects once shared objects are counted per
// reference, strings that are text (ASCII/UTF-8 or UTF-16 without lone
// surrogates; a U+0000 is kept, never cut at). What it allocates is charged
// against a byte budget, so a small list of many references to one object
// cannot cost memory out of proportion to its size: a container or data is
// copied, and paid for, at every reference; a shared string's bytes are
// shared, and paid for once. Anything malformed, over a limit or over budget
// gives absent; so does a failed allocation.

#include <cstddef>
#include <optional>
#include <string_view>

#include "SharedStringArena.h"
#include "Value.h"

namespace springboard {

// Two budgets, for two kinds of sender. An IPC frame comes from another
// process over a socket, many times a second: its values must fit 16 bytes
// per input byte (room for a list of one-byte objects each referenced once),
// and a peer gains nothing by sharing. A file is read once, written by any
// writer, and writers share equal values freely (one long string behind a
// hundred keys): it may decode to 16 MiB whatever its size, the node limit
// still bounding how many references are followed.
constexpr std::size_t defaultDecodeBudget(std::size_t inputSize) { return 16 * inputSize + 64 * 1024; }
constexpr std::size_t fileDecodeBudget(std::size_t inputSize) {
    return defaultDecodeBudget(inputSize) > (std::size_t{16} << 20) ? defaultDecodeBudget(inputSize)
                                                                    : std::size_t{16} << 20;
}

std::optional<Value> readBinaryPropertyList(std::string_view bytes, std::size_t budget);
// The marker byte of the root object (its type in the high four bits);
// absent when the header, the trailer or the root's offset is malformed.
std::optional<unsigned char> binaryPropertyListRootMarker(std::string_view bytes);
// The root dictionary, built in place; absent when the root is no dictionary.
std::optional<Dictionary> readBinaryPropertyListDictionary(std::string_view bytes, std::size_t budget);
// The same, with `bytes` lying within `source`: its ASCII strings are then
// views of `source`, sharing its allocation, rather than copies.
std::optional<Dictionary> readBinaryPropertyListDictionary(std::string_view bytes, std::size_t budget,
                                                           SharedBytes* source);
// The entry `key` of readBinaryPropertyListDictionary's dictionary: absent
// when that is absent, nil when it has no such entry. Every other value is
// checked and charged for as that read would, but not built.
std::optional<Value> readBinaryPropertyListDictionaryEntry(std::string_view bytes, std::size_t budget,
                                                           std::string_view key);

}  // namespace springboard
