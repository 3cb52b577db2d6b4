#pragma once

// Conversion between property-list bytes (XML or binary) and Value. Shared by
// the property-list file functions and the IPC wire format. Binary lists are
// read by our own reader (BinaryPropertyListReader.h), XML ones by libplist.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "Value.h"

namespace springboard {

// The root value of XML or binary property-list bytes; absent when the bytes
// are not a property list, or nest deeper than kMaxPropertyListDepth.
std::optional<Value> parsePropertyList(const void* bytes, std::size_t length);

// Levels of values, the root being the first, in either form, read or
// written: a list one form carries, the other carries too.
inline constexpr int kMaxPropertyListDepth = 256;
// Binary property lists may share objects; expanded, a tree may hold at most
// this many objects.
inline constexpr std::size_t kMaxPropertyListNodes = 1u << 20;

// The root dictionary of property-list bytes, built directly (no Value around
// it to copy out of); absent when parsePropertyList would give no dictionary.
std::optional<Dictionary> parsePropertyListDictionary(const void* bytes, std::size_t length);
// The entry `key` of parsePropertyListDictionary's dictionary: absent when
// that is absent, nil when it has no such entry. The same checks, without
// building the entries not asked for.
std::optional<Value> parsePropertyListDictionaryEntry(const void* bytes, std::size_t length, std::string_view key);

// Whether bytes parsePropertyListDictionary refused may yet hold a
// dictionary: they carry the binary header or look like XML (a '<' first,
// past a byte-order mark and white space), and their root, as far as it can
// be found, is a dictionary. False for bytes that are no property list at
// all, or whose root is something else.
bool mayHoldDictionary(const void* bytes, std::size_t length);

// The property-list bytes of `value`. Nil values (which a property list
// cannot hold) are left out of arrays and dictionaries; a nil root gives "".
// Both give "" (binary: the `room` zeros alone) for a value nesting deeper
// than kMaxPropertyListDepth. XML gives "" as well for a value it cannot
// carry exactly: a string that is no UTF-8 or holds a control character
// other than tab, line feed and carriage return (or U+FFFE, U+FFFF), a date
// with a fraction of a second or outside the years 1 to 9999.
std::string xmlPropertyList(const Value& value);
std::string binaryPropertyList(const Value& value);
// The same bytes after `room` zero bytes the caller fills in (a header).
std::string binaryPropertyList(const Value& value, std::size_t room);

}  // namespace springboard
