#pragma once

// What `run --demo` plays. On the sample device the road is known, and its
// captions say what will happen; on a user's device it is played against
// the lists that device holds, with captions that claim nothing the
// happenings shown after each line do not bear out.

#include <optional>
#include <string>
#include <vector>

namespace sim {

// The sample device's road: a task over Safari, a new list, an IPC question.
std::vector<std::string> sampleDemo();

// The road on a device whose (first installed) Clear holds `lists`: a task
// into the first list and a new list named "Holidays", or "Holidays 2", ...
// whichever the device does not hold yet, so a second run adds no duplicate.
// Absent with `refusal` set when there is no Clear (`lists` absent) or no list.
std::optional<std::vector<std::string>> demoFor(const std::optional<std::vector<std::string>>& lists,
                                                std::string* refusal);

}  // namespace sim
