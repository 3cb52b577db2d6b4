#pragma once

// How velmora-sim ends: 0 when a command did its job, 2 with one line on
// standard error for a bad command line or script, 1 when the device cannot
// be used or the other side fails.

#include <string>

namespace sim {

inline constexpr int kUsageError = 2;
inline constexpr int kFailure = 1;

// Prints "velmora-sim: MESSAGE" on one line of standard error and returns the status.
int usageError(const std::string& message);
int failure(const std::string& message);

}  // namespace sim
