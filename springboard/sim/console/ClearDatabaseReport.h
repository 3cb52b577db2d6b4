#pragma once

// What the installed Clear apps hold, printed for a person: the demo ends
// with it and the prompt's `show` prints it on demand.

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "SpringBoardSession.h"

namespace sim {

// For Clear and then Clear+, whichever is installed on the session's device:
// "<app>'s database <verb> holds" and its lists and tasks. Returns whether
// any Clear was there to print.
bool printClearDatabases(SpringBoardSession& session, std::ostream& out, const char* verb);

// The lists of the first installed Clear (Clear before Clear+), as its
// database holds them; absent when neither is installed.
std::optional<std::vector<std::string>> clearLists(SpringBoardSession& session);

}  // namespace sim
