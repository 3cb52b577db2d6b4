#pragma once

// Draws the widget as a terminal sheet: a title bar in the widget's tint and
// bar-text colours (24-bit ANSI colour; a grey becomes equal RGB from its
// white level), the chosen list, the task text, an open prompt, and below
// the sheet what happened since the last step (the URL, Clear's result, the
// app the user returned to, refusals).

#include <optional>
#include <string>
#include <vector>

#include "Trace.h"
#include "UIColor.h"

namespace sim {

// What the sheet shows. Event-borne parts are kept up to date by apply();
// the console fills in the parts it reads from the host.
struct SheetState {
    bool open = false;                 // a widget is open (host)
    std::string title;
    std::optional<UIColor> tint;
    std::optional<UIColor> barText;
    std::vector<std::string> choices;  // list choice titles (host)
    std::string listText;              // what the list item shows
    std::string taskText;              // task item value (host)
    std::optional<std::string> prompt; // the open prompt's message, if any
    std::vector<std::string> happenings;

    // Folds one trace event in.
    void apply(const Json& event);
};

// The 0-255 terminal level of a colour component (clamped, rounded).
int colorLevel(double component);
// The colour's RGB levels; a grey gives three equal levels.
std::vector<int> colorLevels(const UIColor& color);
UIColor colorFromJson(const Json& json);

// The sheet as lines of text; `colour` false leaves out every escape sequence.
std::string renderSheet(const SheetState& state, bool colour);

}  // namespace sim
