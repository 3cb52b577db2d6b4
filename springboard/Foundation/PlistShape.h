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

}  // namespace springboard
