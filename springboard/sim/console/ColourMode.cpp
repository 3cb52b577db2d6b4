#include "ColourMode.h"

#include <cstring>

namespace sim {

bool useColour(ColourMode mode, bool outputIsTerminal, const char* noColor, const char* term) {
    if (mode != ColourMode::Auto) return mode == ColourMode::Always;
    return outputIsTerminal && !(noColor && *noColor) && !(term && std::strcmp(term, "dumb") == 0);
}

}  // namespace sim
