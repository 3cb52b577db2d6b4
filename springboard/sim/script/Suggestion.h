#pragma once

// "Did you mean": the nearest of a few known words to a mistyped one.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// The candidate closest to `word` by edit distance (insertions, deletions,
// substitutions and swaps of neighbours), if it is close enough to be a
// likely typo: at most a third of the longer word's length, and at least one.
std::optional<std::string> closestWord(std::string_view word, const std::vector<std::string>& candidates);

}  // namespace sim
