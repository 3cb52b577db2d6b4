#pragma once

// One trace event told as the prompt tells it ("opened clearapp://...",
// "refused: no widget is open"), for the prompt, the demo, `trace FILE` and
// `--bail`, so all four agree on what happened and what was refused.

#include <optional>
#include <string>

#include "Trace.h"

namespace sim {

struct EventDescription {
    std::string text;      // safe for a terminal: text from the device or a peer is escaped
    bool refusal = false;  // a refused line, a failed hand-off or an error reply
};

// Absent for events the prompt does not tell (the sheet's own calls, lookups).
std::optional<EventDescription> describeEvent(const Json& event);

}  // namespace sim
