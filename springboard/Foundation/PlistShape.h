#pragma once

// Structural checks of property-list bytes made before they reach the
// property-list parser, which recurses once per nesting level and expands
// shared objects once per reference: a hostile file or message of a few
// hundred kilobytes could otherwise exhaust the stack or memory of the
// reading process.

#include <cstddef>
#include <string_view>

namespace springboard {

// True when `bytes` is a well-formed binary property-list container whose
// object graph, from its top object, is acyclic, nests at most `maxDepth`
// levels (a scalar root is depth 1) and expands to at most `maxNodes`
// objects counting each reference separately. Runs in time and memory linear
// in the size of `bytes`, without recursion.
bool binaryPlistShapeIsWithin(std::string_view bytes, std::size_t maxDepth, std::size_t maxNodes);

// True when the <array> and <dict> elements of XML property-list bytes nest
// at most `maxDepth` levels. A conservative scan, not a parser: tags inside
// comments and CDATA sections are skipped, anything else that looks like an
// opening tag counts.
bool xmlPlistDepthIsWithin(std::string_view bytes, std::size_t maxDepth);

}  // namespace objcipc
