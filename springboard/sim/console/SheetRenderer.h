#pragma once

// Draws the widget as a terminal sheet: a title bar in the widget's tint and
// bar-text colours (24-bit ANSI colour; a grey becomes equal RGB from its
// white level), the chosen list, the task text, the choices, and an open
// prompt with how to answer it.

#include <optional>
#include <string>
#include <vector>

#include "PWHost.h"
#include "UIColor.h"

namespace sim {

// What the sheet shows, read from the widget host (readSheet).
struct SheetState {
    bool open = false;                 // a widget is open
    std::string title;
    std::optional<UIColor> tint;
    std::optional<UIColor> barText;
    std::vector<std::string> choices;  // list choice titles
    std::string listText;              // what the list item shows
    std::string taskText;              // the task item's value
    std::optional<std::string> prompt; // the open prompt's title and message

    bool operator==(const SheetState&) const = default;
};

// The sheet as the host has it now: the open widget's title and colours, its
// page's list and task items, and its open prompt.
SheetState readSheet(const PWHost& host);

// The 0-255 terminal level of a colour component (clamped, rounded).
int colorLevel(double component);
// The colour's RGB levels; a grey gives three equal levels.
std::vector<int> colorLevels(const UIColor& color);

// The narrowest and the widest sheet, in terminal columns.
inline constexpr int kMinSheetWidth = 40;
inline constexpr int kMaxSheetWidth = 64;

// The open sheet as lines of text `width` columns wide (clamped to the
// bounds above); `colour` false leaves out every escape sequence. A closed
// widget gives "".
std::string renderSheet(const SheetState& state, bool colour, int width = 48);

}  // namespace sim
