#pragma once

#include <limits>

// The value of the list item's last choice, "Create List...": the largest
// `long` of the platform, a number no list name (a string) is ever equal to.
inline constexpr long VLCreateListSentinel = std::numeric_limits<long>::max();
