#pragma once

// The structural check of XML property-list bytes made before they reach
// libplist, which recurses once per nesting level: a hostile file of a few
// hundred kilobytes could otherwise exhaust the stack of the reading process.
// (Binary lists are checked as they are read: BinaryPropertyListReader.h.)

#include <cstddef>
#include <string_view>

namespace springboard {

// True when the <array> and <dict> elements of XML property-list bytes nest
// at most `maxDepth` levels. A conservative scan, not a parser: tags inside
// comments and CDATA sections are skipped, anything else that looks like an
// opening tag counts.
bool xmlPlistDepthIsWithin(std::string_view bytes, std::size_t maxDepth);

// True when every <integer> and <real> of XML property-list bytes holds a
// number every reader reads alike: a decimal integer without a leading zero
// (libplist reads "010" as octal) or "0x" and hex digits; a decimal real,
// "nan" or "inf". libplist reads anything else as 0 where others refuse it.
// The same kind of scan as above: tags in comments count too.
bool xmlPlistNumbersAreWellFormed(std::string_view bytes);

}  // namespace springboard
