#include "SheetRenderer.h"

#include <algorithm>
#include <cmath>
#include <clocale>
#include <cwchar>
#include <utility>

#include <locale.h>
#include <wchar.h>

#include "PWContentItemViewController.h"
#include "PWWidgetItem.h"
#include "PWWidgetItemListValue.h"
#include "PWWidgetHost.h"
#include "PWWidgetItemHost.h"
#include "TerminalText.h"
#include "UTF8.h"

namespace sim {
namespace {

// The next code point of UTF-8 `text` at `i` and its length in bytes
// (a stray byte counts as one code point of its own).
// A byte that starts no UTF-8 sequence stands for itself, one column wide,
// so a stray byte cannot swallow the characters after it.
std::pair<char32_t, std::size_t> decode(const std::string& text, std::size_t i) {
    std::size_t next = i;
    if (auto cp = springboard::decodeUTF8(text, next)) return {*cp, next - i};
    return {static_cast<unsigned char>(text[i]), 1};
}

// Terminal columns of one code point: wcwidth under a UTF-8 locale of this
// thread only (the process's locale is left alone); emoji and CJK take two.
int glyphWidth(char32_t cp) {
    static locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    if (cp < 0x80) return 1;
    if (!utf8) return 1;
    locale_t previous = ::uselocale(utf8);
    int width = ::wcwidth(static_cast<wchar_t>(cp));
    ::uselocale(previous);
    return width < 0 ? 1 : width;
}

int columns(const std::string& text) {
    int n = 0;
    for (std::size_t i = 0; i < text.size();) {
        auto [cp, len] = decode(text, i);
        n += glyphWidth(cp);
        i += len;
    }
    return n;
}

// Cuts to `width` columns (ending in "…" when cut) and pads to exactly `width`.
// Newlines and tabs show as blanks.
std::string fit(const std::string& text, int width) {
    const bool cut = columns(text) > width;
    const int room = cut ? width - 1 : width;
    std::string out;
    int used = 0;
    for (std::size_t i = 0; i < text.size();) {
        auto [cp, len] = decode(text, i);
        bool blank = cp == '\n' || cp == '\t';
        int w = blank ? 1 : glyphWidth(cp);
        if (used + w > room) break;
        out += blank ? std::string(" ") : text.substr(i, len);
        used += w;
        i += len;
    }
    if (cut) {
        out += "…";
        ++used;
    }
    return out + std::string(static_cast<std::size_t>(std::max(0, width - used)), ' ');
}

// Lays `pieces` out in lines of at most `width` columns, breaking only
// between pieces, which are joined by a blank; every piece but the last gets
// `separator`. Lines start with `firstIndent`, then `nextIndent` blanks.
std::vector<std::string> wrap(const std::vector<std::string>& pieces, const std::string& separator, int firstIndent,
                              int nextIndent, int width) {
    std::vector<std::string> lines;
    std::string line(static_cast<std::size_t>(firstIndent), ' ');
    bool lineHasPiece = false;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        std::string piece = pieces[i] + (i + 1 < pieces.size() ? separator : "");
        if (lineHasPiece && columns(line) + 1 + columns(piece) > width) {
            lines.push_back(line);
            line.assign(static_cast<std::size_t>(nextIndent), ' ');
            lineHasPiece = false;
        }
        line += (lineHasPiece ? " " : "") + piece;
        lineHasPiece = true;
    }
    if (lineHasPiece) lines.push_back(line);
    return lines;
}

std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

std::string frameLines(const std::vector<std::string>& lines, int width) {
    std::string out;
    for (const auto& line : lines) out += "│ " + fit(line, width) + " │\n";
    return out;
}

std::string rgbEscape(const UIColor& color, bool background) {
    auto levels = colorLevels(color);
    return std::string("\x1b[") + (background ? "48" : "38") + ";2;" + std::to_string(levels[0]) + ";" +
           std::to_string(levels[1]) + ";" + std::to_string(levels[2]) + "m";
}

}  // namespace

int colorLevel(double component) {
    if (!(component > 0)) return 0;
    if (component >= 1) return 255;
    return static_cast<int>(std::lround(component * 255));
}

std::vector<int> colorLevels(const UIColor& color) {
    if (color.space == UIColor::Space::White) {
        int w = colorLevel(color.white);
        return {w, w, w};
    }
    return {colorLevel(color.red), colorLevel(color.green), colorLevel(color.blue)};
}

SheetState readSheet(const PWHost& host) {
    SheetState state;
    const auto& widget = host.widget();
    if (!widget) return state;
    state.open = true;
    const PWWidgetHost& widgetHost = widget->host();
    // Every text here comes from the device (list titles, the theme's
    // title) or was typed; it reaches the terminal escaped.
    state.title = printable(widgetHost.title().value_or(""));
    state.tint = widgetHost.preferredTintColor();
    state.barText = widgetHost.preferredBarTextColor();
    if (const auto& prompt = widgetHost.openPrompt()) state.prompt = printable(prompt->title + ": " + prompt->message);
    if (auto page = host.page()) {
        if (auto list = std::dynamic_pointer_cast<PWWidgetItemListValue>(page->itemWithKey("list"))) {
            for (const auto& title : list->listItemTitles()) state.choices.push_back(printable(title.description()));
            state.listText = printable(list->host().displayText());
        }
        if (auto task = page->itemWithKey("task"))
            if (auto text = task->value().stringValue()) state.taskText = printable(*text);
    }
    return state;
}

std::string renderSheet(const SheetState& state, bool colour, int width) {
    if (!state.open) return "";
    const int inner = std::clamp(width, kMinSheetWidth, kMaxSheetWidth) - 4;  // inside "│ " and " │"
    const std::string reset = colour ? "\x1b[0m" : "";
    std::string horizontal;
    for (int i = 0; i < inner + 2; ++i) horizontal += "─";
    std::string out = "┌" + horizontal + "┐\n";
    std::string bar;
    if (colour && state.tint) bar += rgbEscape(*state.tint, true);
    if (colour && state.barText) bar += rgbEscape(*state.barText, false);
    int padding = std::max(0, inner + 2 - columns(state.title));
    std::string titleText = std::string(padding / 2, ' ') + state.title + std::string(padding - padding / 2, ' ');
    out += "│" + bar + (colour ? "\x1b[1m" : "") + fit(titleText, inner + 2) + reset + "│\n";
    out += "├" + horizontal + "┤\n";
    out += "│ " + fit("List  " + state.listText, inner) + " │\n";
    out += "│ " + fit("Task  " + state.taskText, inner) + " │\n";
    out += frameLines(wrap(state.choices, " ·", 6, 6, inner), inner);
    if (state.prompt) {
        out += frameLines(wrap(words("? " + *state.prompt), "", 0, 2, inner), inner);
        out += frameLines({"  answer NAME to confirm, or cancel"}, inner);
    }
    out += "└" + horizontal + "┘\n";
    return out;
}

}  // namespace sim
