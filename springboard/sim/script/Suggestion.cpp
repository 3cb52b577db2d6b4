#include "Suggestion.h"

#include <algorithm>

namespace sim {
namespace {

// Optimal string alignment distance.
std::size_t distance(std::string_view a, std::string_view b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i)
        for (std::size_t j = 1; j <= b.size(); ++j) {
            std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

}  // namespace

std::optional<std::string> closestWord(std::string_view word, const std::vector<std::string>& candidates) {
    // Words are short; a long typed word is no typo of one and is not worth the table.
    if (word.empty() || word.size() > 64) return std::nullopt;
    std::optional<std::string> best;
    std::size_t bestDistance = 0;
    for (const auto& candidate : candidates) {
        std::size_t d = distance(word, candidate);
        std::size_t allowed = std::max<std::size_t>(1, std::max(word.size(), candidate.size()) / 3);
        if (d == 0 || d > allowed) continue;
        if (!best || d < bestDistance) {
            best = candidate;
            bestDistance = d;
        }
    }
    return best;
}

}  // namespace sim
